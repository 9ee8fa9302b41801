// The pages the scheduler writes, the "Create HTMLs" command, the posts, the APRS report and the upload.
#include "platform/controls/Control.h"
#include "publish/AprsReport.h"
#include "publish/DdeServer.h"
#include "publish/FtpUpload.h"
#include "publish/MainGraphs.h"
#include "publish/StationPublishing.h"
#include "publish/StatusFeeds.h"
#include "publish/StatusPage.h"
#include "publish/Templates.h"
#include "publish/WeatherPosts.h"
#include "publish/WeatherXml.h"

TStationPublishing::TStationPublishing(TPublishingHost& station)
    : station_(station), context_(station), web_(context_), dde_(std::make_unique<TDdeServer>(station)),
      feeds_(std::make_unique<TStatusFeeds>(station)), posts_(std::make_unique<TWeatherPosts>(station)),
      aprs_(std::make_unique<TAprsReport>(station)), upload_(std::make_unique<TFtpUpload>(station)) {
    web_.SetGraphSource(publish::MainWindowGraphs(station));
    CreateHTML = platform::MakeOwned<platform::TControl>(station.CommandOwner(), "CreateHTML");
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
void TStationPublishing::FTPUpload() {
    upload_->FTPUpload();
}
void TStationPublishing::FTPStartUpload() {
    FTPUpload();
}

bool TStationPublishing::TransferRunning(TTransferCommand transfer) const {
    switch (transfer) {
    case TTransferCommand::APRS:
        return aprs_->APRSSocket->State() != net::wsClosed;
    case TTransferCommand::Servlet:
        return posts_->HTTPClientD->State() != net::httpReady;
    case TTransferCommand::WU:
        return posts_->HTTPClientWU->State() != net::httpReady;
    case TTransferCommand::W4U:
        return posts_->HTTPClientW4U->State() != net::httpReady;
    case TTransferCommand::Upload:
        break;
    }
    return upload_->Running();
}
