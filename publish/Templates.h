#pragma once
// The station's own pages from the user's templates: every plain file of the template folder
// ([HTML] TEMPLATEDir) is copied to the HTML folder under its name, each tag replaced by a current
// value (TemplateScanner.h for the syntax). The station's GeneratedPages lists the names of the
// latest run, for the upload.
//
// The tag handler ignores the first three characters of every tag name; the rest, the name proper, is
// compared without regard to letter case with the plain tags (always: Time, Sunrise, Sunset; then the
// wind, rain, temperature, humidity and barometer groups, each only when its sensors are there), then
// with the per-sensor tags (SensorTags.h). No match gives "(n/a)".
#include <string>

namespace publish {

class TPublishContext;

std::string TemplateTagValue(TPublishContext& context, const std::string& tagString);
// One run; true unless it stopped at its first template (a template gone, or a page that could not be
// written, ends the run there).
bool ProcessTemplates(TPublishContext& context);
// "Create HTMLs": the status page, then the templates, then a message box saying what was made.
void CreateHTMLClick(TPublishContext& context);

} // namespace publish
