#pragma once
// The station's six trend graphs and the main window's picture, as the web server's image answers draw
// them.
#include "publish/GraphSource.h"

class TPublishingHost;

namespace publish {

TGraphSource MainWindowGraphs(TPublishingHost& station);

} // namespace publish
