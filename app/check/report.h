#pragma once

// velno-check's report: what the package's position list would do, line by
// line, in words for the update's author.

#include <iosfwd>

#include "update/package_check.h"

namespace velno::check {

void PrintPackageCheck(const update::PackageCheck& check, std::ostream& out);

}  // namespace velno::check
