#include "common.h"

#include <cstdio>

bool Check(bool what, const std::string& label) {
  std::printf("%s %s\n", what ? "ok  " : "FAIL", label.c_str());
  return what;
}
