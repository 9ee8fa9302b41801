#pragma once
// Template expansion: text outside tags is copied unchanged; a tag
//
//     "<" [blanks] "#" [blanks] name [parameters] ">"
//
// becomes what the handler answers for its name. Blanks are characters 1 to 32; the name is a letter or
// underscore followed by letters, digits and underscores; the parameters are the text after the name up
// to the next ">" and change nothing. A "<" that does not begin a tag is copied with what follows it. A
// tag that never closes leaves the rest of the template as it stands.
#include <functional>
#include <string>

namespace publish {

std::string ExpandTemplate(const std::string& text,
                           const std::function<std::string(const std::string& name)>& tag);

} // namespace publish
