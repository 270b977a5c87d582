#pragma once
// plavo-admin: the administrator's view of an installation, on plavo's own map rules.
//
//   plavo-admin check [MAP] [--users]    // errors and warnings of the map; exit 0, 1 or 2
//   plavo-admin list [--user NAME]       // the projects NAME may work on, and the default
//   plavo-admin users PROJECT            // who may work on PROJECT
//   plavo-admin who [--user NAME]        // the registrations in log/temp, newest first
//   plavo-admin prune --older-than DAYS [--dry-run]
//
// --json gives list, users, who and check as one JSON document on standard output. Errors
// are reported as plavo reports them; every command ends with 2 after one.
#include <cstdint>
#include <string>
#include <vector>

#include "AppFrame.h"

namespace Kestro {

class PlavoAdmin : public KestroCorelib::AppFrame {
 public:
  // Builds the frame ("plavo-admin", standard options, vendor "Kestro, Inc."), declares the
  // options and parses the arguments. getState() tells main what to do next.
  PlavoAdmin(int argc, char** argv);
  ~PlavoAdmin() override;

  bool onInit() override;
  bool onExit() override;
  // Runs the command; the exit code.
  int32_t onRun() override;

 private:
  int32_t check(const std::vector<std::string>& arguments);
  int32_t list();
  int32_t users(const std::string& project);
  int32_t who();
  int32_t prune();

  bool asJson = false;
};

}  // namespace Kestro
