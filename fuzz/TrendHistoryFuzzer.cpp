// The trend history loader on any file (a history is 24-byte records without a header or checksum, so
// every file is one): the first input byte picks the graph's options, the rest is the file. Loaded onto
// an empty trend it saves back to its whole records byte for byte, and any records draw, with dates and
// times of any value, zoomed and scrolled.
#include <cstddef>
#include <cstdint>
#include <fstream>
#include <iterator>
#include <memory>
#include <string>

#include "gauges/AbFlashT.h"
#include "gauges/AbTrend.h"
#include "platform/controls/Form.h"
#include "platform/graphics/Font.h"
#include "support/FuzzSupport.h"

namespace {

std::string ReadFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), {}};
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    platform::gfx::TFont::UseTestFont(true);
    gauges::SetFlashManualMode(true);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    using namespace gauges;
    fuzzing::Steer steer(data, size);
    uint8_t how = steer.Byte();
    std::string_view file = steer.Rest();
    std::string path = fuzzing::WriteScratch("history.dat", file);

    // A small graph keeps each paint quick; it paints onto the form as on screen, and no picture of the
    // form is composed.
    platform::TForm form;
    form.SetBounds(0, 0, 130, 100);
    auto* trend = new TAbTrend(&form); // the form frees it
    trend->SetBounds(0, 0, 120, 90);
    trend->SetStartRecording(false);
    TTrendOptions options = opGrid | opSeparator | opLeftScale | opRightScale | opCaption;
    if (how & 1) options |= opDate;
    if (how & 2) options |= opTime;
    if (how & 4) options |= opShowLast;
    if (how & 8) options |= opCh7isUL | opCh8isLL;
    trend->SetOptions(options);
    trend->Loaded();

    FUZZ_CHECK(trend->LoadFromFileEx(path, true) == 0);
    size_t whole = file.size() / kTrendRecordSize;
    FUZZ_CHECK(static_cast<size_t>(trend->RecordCount()) == whole);
    std::string saved = fuzzing::ScratchDir() + "/saved.dat";
    FUZZ_CHECK(trend->SaveToFile(saved) == 0);
    FUZZ_CHECK(ReadFile(saved) == file.substr(0, whole * kTrendRecordSize));
    trend->Repaint();

    // Loaded again onto the records it holds: a separator goes between, nothing else is lost. Then
    // zoomed and scrolled, and painted again.
    int before = trend->RecordCount();
    FUZZ_CHECK(trend->LoadFromFileEx(path, false) == 0);
    FUZZ_CHECK(trend->RecordCount() >= before + static_cast<int>(whole));
    if (how & 16) trend->ZoomYTo(0.1f + static_cast<float>(how >> 5));
    trend->MoveX(how & 32 ? -3 : 7);
    trend->MoveY(how >> 4);
    if (trend->RecordCount() > 0) (void)trend->FindMinMax(0, trend->RecordCount() - 1);
    trend->Repaint();
    return 0;
}
