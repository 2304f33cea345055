#pragma once

#include <stdexcept>
#include <string>

// A failure that carries the exact message the user is shown. Conversion
// errors, link failures and file errors are all thrown as this; one guard
// around every event handler turns it into the standard error box.
class KrovanError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};
