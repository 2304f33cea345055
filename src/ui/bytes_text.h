#pragma once

#include <QString>
#include <string>
#include <string_view>

// The one boundary between edit-field text and bytes: Windows-1250 both
// ways; characters the code page lacks become "?".
std::string toBytes(const QString &text);
QString fromBytes(std::string_view bytes);
