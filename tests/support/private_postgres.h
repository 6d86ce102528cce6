// SPDX-License-Identifier: GPL-3.0-or-later
// A PostgreSQL server of the tests' own: initdb into a temporary folder, listening only on a
// Unix socket in that folder, run as the unprivileged `postgres` (or `nobody`) user when the
// tests run as root, and stopped at the end. Its binaries are Debian's, under
// /usr/lib/postgresql/<version>/bin.
#pragma once

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include <pwd.h>
#include <sys/wait.h>
#include <unistd.h>

#include "ledger/database.h"

namespace pw::test {

class PrivatePostgres {
public:
  PrivatePostgres() {
    namespace fs = std::filesystem;
    for (const auto& version : fs::directory_iterator("/usr/lib/postgresql", ec_))
      if (fs::exists(version.path() / "bin" / "initdb"))
        bin_ = version.path() / "bin";
    if (bin_.empty()) {
      reason_ = "no PostgreSQL server under /usr/lib/postgresql (scripts/deps installs it)";
      return;
    }
    char pattern[] = "/tmp/pw-postgres-XXXXXX";
    if (!mkdtemp(pattern)) {
      reason_ = "no temporary folder";
      return;
    }
    dir_ = pattern;
    if (geteuid() == 0) {
      // The server refuses to run as root: it runs as an unprivileged user in a folder of its
      // own.
      for (const char* name : {"postgres", "nobody"})
        if (const passwd* pw = getpwnam(name)) {
          user_ = name;
          if (chown(dir_.c_str(), pw->pw_uid, pw->pw_gid) != 0) {
            reason_ = "cannot hand the temporary folder to " + user_;
            return;
          }
          break;
        }
    }
    if (!Run({(bin_ / "initdb").string(), "-D", Data(), "-U", "pwtest", "--auth=trust", "--no-sync",
              "-E", "UTF8"}) ||
        !Start()) {
      reason_ = "the private PostgreSQL server did not start (see " + dir_.string() + "/log)";
      return;
    }
    running_ = true;
  }
  PrivatePostgres(const PrivatePostgres&) = delete;
  PrivatePostgres& operator=(const PrivatePostgres&) = delete;
  ~PrivatePostgres() {
    Stop();
    std::error_code ec;
    if (!dir_.empty())
      std::filesystem::remove_all(dir_, ec);
  }

  bool Ok() const { return running_; }
  const std::string& Reason() const { return reason_; }

  // A database of its own for one test, and its URL.
  std::string NewDatabase() {
    const std::string name = "t" + std::to_string(++databases_);
    ledger::DbOpen admin = ledger::OpenPostgresql(Url("postgres"));
    if (!admin.db || !admin.db->Exec("CREATE DATABASE " + name, {}).ok)
      return {};
    return Url(name);
  }
  std::string Url(const std::string& database, const std::string& user = "pwtest") const {
    return "postgresql://" + user + "@/" + database + "?host=" + dir_.string();
  }

  // The server goes away (as a server does when its machine is switched off) ...
  bool Stop() {
    if (!running_)
      return true;
    running_ = false;
    return Run({(bin_ / "pg_ctl").string(), "-D", Data(), "-m", "immediate", "-w", "stop"});
  }
  // ... and comes back.
  bool Start() {
    running_ = Run({(bin_ / "pg_ctl").string(), "-D", Data(), "-w", "-l", dir_.string() + "/log",
                    "-o", "-k " + dir_.string() + " -c listen_addresses='' -c fsync=off", "start"});
    return running_;
  }

private:
  std::string Data() const { return dir_.string() + "/data"; }

  bool Run(std::vector<std::string> argv) {
    if (!user_.empty())
      argv.insert(argv.begin(), {"runuser", "-u", user_, "--"});
    std::fflush(nullptr); // a child must not write out the parent's buffered lines
    const pid_t pid = fork();
    if (pid == 0) {
      std::vector<char*> cargv;
      for (std::string& a : argv)
        cargv.push_back(a.data());
      cargv.push_back(nullptr);
      if (freopen("/dev/null", "w", stdout)) {
      }
      execvp(cargv[0], cargv.data());
      _exit(127);
    }
    int status = 0;
    return pid > 0 && waitpid(pid, &status, 0) == pid && WIFEXITED(status) &&
           WEXITSTATUS(status) == 0;
  }

  std::error_code ec_;
  std::filesystem::path bin_;
  std::filesystem::path dir_;
  std::string user_;
  std::string reason_;
  bool running_ = false;
  int databases_ = 0;
};

} // namespace pw::test
