#pragma once

// True when the current token is a member of the built-in Administrators group; a failure to
// build the group's SID counts as not a member.
bool IsRunningAsAdministrator();
