// The pages the scheduler writes and the "Create HTMLs" command; the posts and the upload come with
// later publishing work and do nothing until then.
#include "platform/controls/Control.h"
#include "publish/StationPublishing.h"
#include "publish/StatusPage.h"
#include "publish/Templates.h"
#include "publish/WeatherXml.h"
#include "station/Unit1.h"

TStationPublishing::TStationPublishing(TMainForm& form) : form_(form), context_(form), web_(context_) {
    CreateHTML = platform::MakeOwned<platform::TControl>(&form, "CreateHTML");
    CreateHTML->SetCaption("Create HTMLs");
    CreateHTML->OnClick = [this](platform::TComponent*) { publish::CreateHTMLClick(context_); };
}

TStationPublishing::~TStationPublishing() {
    CreateHTML->OnClick = nullptr; // the item is the window's and may outlive this side
}

void TStationPublishing::WriteWeatherHTML() {
    publish::WriteWeatherHTML(context_);
}
void TStationPublishing::ProcessTemplates() {
    publish::ProcessTemplates(context_);
}
void TStationPublishing::WriteWeatherXML(bool includeXSL) {
    publish::WriteWeatherXML(context_, includeXSL);
}

void TStationPublishing::PostToServlet() {}
void TStationPublishing::PostToWUnder() {}
void TStationPublishing::PostToW4U() {}
void TStationPublishing::PostToAPRS() {}
void TStationPublishing::PostToDatabase() {}
void TStationPublishing::FTPUpload() {}
void TStationPublishing::FTPStartUpload() {
    FTPUpload();
}
