// The posts, the APRS report, the pages and the upload that the scheduler starts; the pages and the
// upload are calls that do nothing yet.
#include "publish/AprsReport.h"
#include "publish/StationPublishing.h"
#include "publish/WeatherPosts.h"

void TStationPublishing::PostToServlet() {
    posts_->PostToServlet();
}
void TStationPublishing::PostToWUnder() {
    posts_->PostToWUnder();
}
void TStationPublishing::PostToW4U() {
    posts_->PostToW4U();
}
void TStationPublishing::PostToAPRS() {
    aprs_->PostToAPRS();
}
void TStationPublishing::PostToDatabase() {
    posts_->PostToDatabase();
}
void TStationPublishing::WriteWeatherHTML() {}
void TStationPublishing::ProcessTemplates() {}
void TStationPublishing::WriteWeatherXML(bool) {}
void TStationPublishing::FTPUpload() {}
void TStationPublishing::FTPStartUpload() {
    FTPUpload();
}
