#pragma once

#include <string>

#include "test_environment.h"

// The user in front of the embedded-browser stand-in: a script of what the user does on each
// page, the service double's test CA the browser must trust and the browser's own log, all in
// a temporary folder named to the browser through its environment variables while the object
// lives.
class BrowserUser {
 public:
  BrowserUser();
  ~BrowserUser();
  BrowserUser(const BrowserUser&) = delete;
  BrowserUser& operator=(const BrowserUser&) = delete;

  // Replaces the script; its rules act afresh.
  void Script(const std::string& json) const;
  // What the browser and its user did so far, a line per step.
  std::string BrowserLog() const;

  // Types the name and password on the login page and submits it (once).
  static std::string LogIn(const std::string& user_name, const std::string& password);
  // The same with the identity number and password of an account of the service double.
  static std::string LogInAs(const std::string& account);
  // Follows the login page's cancel link.
  static std::string Cancel();
  // Closes the sign-in window once the login page is shown.
  static std::string CloseWindow();
  // Follows the link whose id, class or text is `link` on any page of the authorization server.
  static std::string FollowLink(const std::string& link);
  static std::string DoNothing();

 private:
  ScopedTempDirectory folder_;
};
