"""The HTML pages of the double's authorization server: the login form, in Spanish or Basque by
the request's ui_locales, and the error page shown when the client or redirect URI cannot be
trusted with a redirect."""
import json
from html import escape

TEXTS = {
    "es": {
        "title": "Acceso al servicio de firma",
        "heading": "Identifíquese",
        "user": "Usuario",
        "password": "Contraseña",
        "submit": "Entrar",
        "cancel": "Cancelar",
        "failed": "Usuario o contraseña incorrectos",
        "error_title": "Solicitud no válida",
    },
    "eu": {
        "title": "Sinadura-zerbitzurako sarbidea",
        "heading": "Identifika zaitez",
        "user": "Erabiltzailea",
        "password": "Pasahitza",
        "submit": "Sartu",
        "cancel": "Utzi",
        "failed": "Erabiltzailea edo pasahitza ez da zuzena",
        "error_title": "Eskaera ez da baliozkoa",
    },
}


def language_of(ui_locales):
    """The first of the space-separated ui_locales the double speaks; Spanish otherwise."""
    for tag in (ui_locales or "").split():
        primary = tag.split("-")[0].lower()
        if primary in TEXTS:
            return primary
    return "es"


def login_page(language, action, cancel_href, user_name, failed, blank_frames=False):
    """The page keeps an item in the browser's web storage, as sign-in servers remember a
    device there. With `blank_frames`, it also holds the frames real sign-in pages script: one
    at about:blank and one with its document in srcdoc."""
    texts = TEXTS[language]
    message = f'<p class="error" id="login-error">{escape(texts["failed"])}</p>\n' if failed else ""
    frames = ('<iframe src="about:blank" hidden></iframe>\n'
              '<iframe srcdoc="&lt;p&gt;ok&lt;/p&gt;" hidden></iframe>\n') if blank_frames else ""
    return f"""<!DOCTYPE html>
<html lang="{language}">
<head><meta charset="utf-8"><title>{escape(texts["title"])}</title></head>
<body>
<h1>{escape(texts["heading"])}</h1>
{message}<form id="login" method="post" action="{escape(action)}">
<label for="username">{escape(texts["user"])}</label>
<input type="text" id="username" name="username" value="{escape(user_name)}">
<label for="password">{escape(texts["password"])}</label>
<input type="password" id="password" name="password" value="">
<input type="hidden" name="ui_locales" value="{language}">
<button type="submit">{escape(texts["submit"])}</button>
</form>
<p><a id="cancel" class="cancel" href="{escape(cancel_href)}">{escape(texts["cancel"])}</a></p>
<script>localStorage.setItem("txauth_device", "known");</script>
{frames}</body>
</html>
"""


def error_page(language, error, description):
    texts = TEXTS[language]
    return f"""<!DOCTYPE html>
<html lang="{language}">
<head><meta charset="utf-8"><title>{escape(texts["error_title"])}</title></head>
<body>
<h1>{escape(texts["error_title"])}</h1>
<p id="error">{escape(error)}</p>
<p id="error-description">{escape(description or "")}</p>
</body>
</html>
"""


def second_navigation_page(mode, continue_href):
    """A page that goes on to `continue_href` by itself: a meta refresh, or a form its script
    submits."""
    if mode == "meta_refresh":
        return f"""<!DOCTYPE html>
<html><head><meta charset="utf-8">
<meta http-equiv="refresh" content="0; url={escape(continue_href)}">
<title>Redirigiendo</title></head><body><p>Redirigiendo...</p></body></html>
"""
    return f"""<!DOCTYPE html>
<html><head><meta charset="utf-8"><title>Redirigiendo</title></head>
<body onload="document.forms[0].submit()">
<form method="post" action="{escape(continue_href)}">
<input type="hidden" name="continue" value="1">
</form></body></html>
"""


def navigating_page(target, then=None):
    """A page whose script sends the window to `target`; with `then`, a page that refreshes
    itself there a second later."""
    refresh = f'<meta http-equiv="refresh" content="1; url={escape(then)}">' if then else ""
    return f"""<!DOCTYPE html>
<html><head><meta charset="utf-8">{refresh}<title>Un momento</title></head>
<body><script>window.location.href = {json.dumps(target)};</script></body></html>
"""


def frames_page(sources):
    """A page with one frame per address in `sources`."""
    frames = "".join(f'<iframe src="{escape(source)}"></iframe>' for source in sources)
    return f"""<!DOCTYPE html>
<html><head><meta charset="utf-8"><title>Acceso con marcos</title></head>
<body>{frames}</body></html>
"""


def new_window_page(help_href):
    """A page whose script opens a window for another program, with a link to help in a new
    window."""
    return f"""<!DOCTYPE html>
<html><head><meta charset="utf-8"><title>Acceso con ventanas</title></head>
<body><script>window.open("ms-settings:privacy");</script>
<p><a id="help" target="_blank" href="{escape(help_href)}">Ayuda</a></p></body></html>
"""


def refreshing_page(target):
    """A page that refreshes itself to `target`."""
    return f"""<!DOCTYPE html>
<html><head><meta charset="utf-8"><meta http-equiv="refresh" content="0; url={escape(target)}">
<title>Sin cifrar</title></head><body></body></html>
"""


def help_page():
    return """<!DOCTYPE html>
<html><head><meta charset="utf-8"><title>Ayuda del acceso</title></head>
<body><p>Ayuda</p></body></html>
"""
