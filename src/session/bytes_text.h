#pragma once

#include <QString>
#include <string>
#include <string_view>

// The one boundary between edit-field text and bytes: Windows-1250 both
// ways; characters the code page lacks become "?".
std::string toBytes(const QString &text);
// With an indent, that many spaces come first.
QString fromBytes(std::string_view bytes, qsizetype indent = 0);
// The bytes as the logs show them in hexadecimal, " 4F 4B", after that many
// spaces.
QString hexlinetext(std::string_view bytes, qsizetype indent = 0);
