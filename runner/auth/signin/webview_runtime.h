#pragma once

#include <windows.h>

#include <WebView2.h>

#include <optional>
#include <string>

// The embedded browser's loader and profile, and the strings its interfaces hand out.

// CreateCoreWebView2EnvironmentWithOptions of the WebView2Loader.dll in the program's own
// folder (loaded by full path, once, and kept for the life of the process: the browser's
// objects live in it). E_FAIL with a log line when the library or the function is missing.
HRESULT CreateWebViewEnvironment(
    const std::wstring& user_data_folder,
    ICoreWebView2CreateCoreWebView2EnvironmentCompletedHandler* handler);

// The lines of a failed environment creation: "Failed to create WebView2 environment", the
// result code, and "WebView2 Runtime not found" when the loader found no browser runtime
// (HRESULT_FROM_WIN32(ERROR_FILE_NOT_FOUND)).
void LogEnvironmentFailure(HRESULT result);

// The user's local application-data folder followed by "\MurakoWebView2"; empty when the
// known folder cannot be read.
std::wstring SignInBrowserProfileFolder();

// Every sign-out that ends the browser's session marks the profile folder, and the mark is taken
// once a browser confirmed that the profile's site data is deleted: by the browser being closed
// at the sign-out, or else by the next one, before it navigates anywhere. Each mark names the
// sign-out that wrote it (the text returned; empty when it could not be written), and only the
// deletion that belongs to it takes it: a deletion confirmed late leaves a newer sign-out's mark.
std::string MarkSignedOut();
bool HasSignedOutMark();
// The mark in place now (an earlier program's may be empty); nothing when there is none.
std::optional<std::string> CurrentSignedOutMark();
// Removes the mark if it is still `mark`.
void TakeSignedOutMark(const std::string& mark);

// Converts and frees a string the browser allocated with CoTaskMemAlloc; null gives nothing.
std::optional<std::string> TakeBrowserString(LPWSTR text);
