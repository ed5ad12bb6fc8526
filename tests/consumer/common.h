#pragma once
// The consumer's own helpers, in a library it happens to call "common".

#include <string>

// Whether `what` held; prints a line either way.
bool Check(bool what, const std::string& label);
