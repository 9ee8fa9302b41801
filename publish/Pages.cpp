// The posts, the pages and the upload that the scheduler starts. They come with the publishing work;
// until then each is a call that does nothing.
#include "station/Unit1.h"

void TMainForm::PostToServlet() {}
void TMainForm::PostToWUnder() {}
void TMainForm::PostToW4U() {}
void TMainForm::PostToAPRS() {}
void TMainForm::PostToDatabase() {}
void TMainForm::WriteWeatherHTML() {}
void TMainForm::ProcessTemplates() {}
void TMainForm::WriteWeatherXML(bool) {}
void TMainForm::FTPUpload() {}
void TMainForm::FTPStartUpload() {
    FTPUpload();
}
