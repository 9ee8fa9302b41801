// Session start: hands over from the start timer to the MicroLAN start-up and the reading cycle.
#include "station/Unit1.h"

void TMainForm::StartSessionAndReading() {
    // The bus start-up, the scan and the reading cycle attach here.
    platform::Application->SetTitle("Running!");
    SetCaptionByDate();
}
