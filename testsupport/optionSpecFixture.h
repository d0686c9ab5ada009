#pragma once
// A small option specification for unit tests, made directly over a static table (no
// library is loaded). Its options:
//
//   key              section                    default     accepts
//   video            general                    "auto"      anything not starting "bad"
//   timeout          general                    "30"        digits only
//   Resolution       general                    "1024x768"  anything not starting "bad"
//   server           connection                 ""          anything not starting "bad"
//   autostart_delay  connection                 ""          digits only
//   displayName      connection, unlisted       ""          anything
//   keyboard         general and connection     "us"        anything not starting "bad"
//   internal         unlisted only              ""          anything

#include "common/versionSpec.h"

namespace zv::test {

const versionSpec& optionSpec();

}  // namespace zv::test
