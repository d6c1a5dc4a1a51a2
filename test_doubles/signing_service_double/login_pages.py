"""The HTML pages of the double's authorization server: the login form, in Spanish or Basque by
the request's ui_locales, and the error page shown when the client or redirect URI cannot be
trusted with a redirect."""
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


def login_page(language, action, cancel_href, user_name, failed):
    texts = TEXTS[language]
    message = f'<p class="error" id="login-error">{escape(texts["failed"])}</p>\n' if failed else ""
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
</body>
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
