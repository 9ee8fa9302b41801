// The main window's publishing calls, handed to its publishing side (Publishing.h) when it has one.
#include "station/Publishing.h"
#include "station/Unit1.h"

void TMainForm::StartDDEServices() {
    if (publishing_) publishing_->StartDDEServices();
}
void TMainForm::StopDDEServices() {
    if (publishing_) publishing_->StopDDEServices();
}
void TMainForm::StartHTTPServices() {
    if (publishing_) publishing_->StartHTTPServices();
}
void TMainForm::StopHTTPServices() {
    if (publishing_) publishing_->StopHTTPServices();
}
void TMainForm::StartTCPServices() {
    if (publishing_) publishing_->StartTCPServices();
}
void TMainForm::StopTCPServices() {
    if (publishing_) publishing_->StopTCPServices();
}
void TMainForm::StartUDPServices() {
    if (publishing_) publishing_->StartUDPServices();
}
void TMainForm::StopUDPServices() {
    if (publishing_) publishing_->StopUDPServices();
}
void TMainForm::SendUDPStatus(const std::string& text) {
    if (publishing_) publishing_->SendUDPStatus(text);
}
void TMainForm::PostToServlet() {
    if (publishing_) publishing_->PostToServlet();
}
void TMainForm::PostToWUnder() {
    if (publishing_) publishing_->PostToWUnder();
}
void TMainForm::PostToW4U() {
    if (publishing_) publishing_->PostToW4U();
}
void TMainForm::PostToAPRS() {
    if (publishing_) publishing_->PostToAPRS();
}
void TMainForm::PostToDatabase() {
    if (publishing_) publishing_->PostToDatabase();
}
void TMainForm::WriteWeatherHTML() {
    if (publishing_) publishing_->WriteWeatherHTML();
}
void TMainForm::ProcessTemplates() {
    if (publishing_) publishing_->ProcessTemplates();
}
void TMainForm::WriteWeatherXML(bool includeXSL) {
    if (publishing_) publishing_->WriteWeatherXML(includeXSL);
}
void TMainForm::FTPUpload() {
    if (publishing_) publishing_->FTPUpload();
}
void TMainForm::FTPStartUpload() {
    if (publishing_) publishing_->FTPStartUpload();
}
