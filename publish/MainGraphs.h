#pragma once
// The main window's six trend graphs and its picture, as the web server's image answers draw them.
#include "publish/GraphSource.h"

class TMainForm;

namespace publish {

TGraphSource MainWindowGraphs(TMainForm& form);

} // namespace publish
