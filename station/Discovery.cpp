// The scan as the main window runs it: the title, the sensor tree and the splash that show its course,
// the set-up of the windows for what it found, the report of what it did not find, and the clean-up.
#include <exception>

#include "onewire/Discovery.h"
#include "onewire/SensorTables.h"
#include "station/SplashScreen.h"
#include "station/StationKinds.h"
#include "station/Unit1.h"

using namespace platform;

namespace {

class ScanView final : public ScanListener {
public:
    ScanView(TMainForm& form, TSplashScreen* splash) : form_(form), splash_(splash) {}

    void Started() override {
        if (splash_) splash_->Show(form_);
    }
    TTreeNode* AddNode(TTreeNode* parent, const std::string& text, void* object, int image) override {
        TTreeNode* node = form_.SensorTreeView->AddChildObject(parent, text, object);
        node->ImageIndex = node->SelectedIndex = image;
        return node;
    }
    void SetCaption(const std::string& text) override {
        if (splash_) splash_->SetCaption(text);
    }
    void SetProgress(int percent) override {
        if (splash_) splash_->SetProgress(percent);
    }
    void Finished() override {
        if (splash_) splash_->Close();
    }

private:
    TMainForm& form_;
    TSplashScreen* splash_;
};

} // namespace

void TMainForm::ScanMicroLAN(bool quietly) {
    try {
        if (!quietly) Application->SetTitle("Scanning...");
        ScanView view(*this, quietly ? nullptr : splash_.get());
        ScanMicrolan(view, MicroLANNode);
        if (SensorSet().TemperatureSensors.Count() > 0) ConfigureTemperatureSensors();
        ForEachStationKind(&StationKind::setup, &StationKind::setupOrder, *this);
        ConfigureDPWCGraph();
        // The sensors found have read nothing yet: none is current until its first good read.
        MarkCurrentReadings();
    } catch (const std::exception& e) {
        LogStatus("SERVER: Error: " + std::string(e.what()));
    }
}

void TMainForm::ReportMissingSensors(const TStringList& missing) {
    ReportMissingSerials(missing);
}

void TMainForm::CleanupSensors() {
    try {
        FreeSensors();
    } catch (const std::exception& e) {
        LogStatus("SERVER: Error cleaning up: " + std::string(e.what()));
    }
}
