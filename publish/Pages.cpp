// The posts, the pages and the upload that the scheduler starts. They come with the publishing work;
// until then each is a call that does nothing.
#include "publish/StationPublishing.h"

void TStationPublishing::PostToServlet() {}
void TStationPublishing::PostToWUnder() {}
void TStationPublishing::PostToW4U() {}
void TStationPublishing::PostToAPRS() {}
void TStationPublishing::PostToDatabase() {}
void TStationPublishing::WriteWeatherHTML() {}
void TStationPublishing::ProcessTemplates() {}
void TStationPublishing::WriteWeatherXML(bool) {}
void TStationPublishing::FTPUpload() {}
void TStationPublishing::FTPStartUpload() {
    FTPUpload();
}
