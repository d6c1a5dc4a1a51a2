#pragma once

#include <windows.h>

#include <string>

#include "unique_handle.h"

// Where the provider's debug log lives. A process of a user logs in that user's temporary
// folder, which only that user can write to. A service process would log in the system's
// temporary folder, where every user can create files (plant the log first, link it elsewhere,
// or hold it to stall the service), so LocalSystem, LocalService and NetworkService log in a
// folder of their own under "%ProgramData%\Murako KSP": only a LocalSystem process creates that
// tree, with access lists that let SYSTEM and the administrators write, and in each service
// account's folder that account as well. A folder found there that is a link, or whose owner is
// neither SYSTEM, the administrators nor the process's own account, is not used.
enum class LogAccount { User, LocalSystem, LocalService, NetworkService };

// The account of the process token; User when it is none of the three service accounts or
// cannot be read. Read once per process.
LogAccount ProcessLogAccount();

// The account the log is kept for: the process's, unless a test set another.
LogAccount CurrentLogAccount();

// Tests only (the library exports nothing of it): log as if the process ran as `account`;
// null restores the process's own account.
void SetLogAccountForTesting(const LogAccount* account);

// "<program_data>\Murako KSP\<account>\" for a service account; empty for User.
std::string ServiceLogFolder(const std::string& program_data, LogAccount account);

// The folder of `account`'s log, created first when the process runs as LocalSystem; empty
// when it cannot be used. A folder once found usable is not checked again.
std::string PreparedServiceLogFolder(LogAccount account);

// Opens `path` with `access` without following a link: a name that is a reparse point or one
// of several hard links is refused (an invalid handle). `disposition` as for CreateFile.
UniqueFile OpenLogFileNoLink(const std::string& path, DWORD access, DWORD disposition);
