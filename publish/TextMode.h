#pragma once
// Pages and weather.xml are text files with CR LF line ends: every LF of the text goes to the disk as
// CR LF, also an LF that a CR already stands before (a template with CR LF lines gives CR CR LF), and
// a text read back in text mode has each CR LF as LF. Files are written whole, through a temporary
// file that replaces the old one; as the station makes them again, the disk is not waited for.
#include <string>

namespace publish {

std::string ToTextMode(const std::string& text);
std::string FromTextMode(const std::string& bytes);
// False when the file was not replaced (the station's file log tells why, once).
bool WriteTextModeFile(const std::string& name, const std::string& text);
// False when the file cannot be read.
bool ReadTextModeFile(const std::string& name, std::string& text);

} // namespace publish
