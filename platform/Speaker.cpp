#include "platform/Speaker.h"

#include <dirent.h>
#include <fcntl.h>
#include <linux/input.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <fstream>
#include <vector>

#include "platform/EventLoop.h"
#include "platform/FileProblems.h"

namespace platform {

namespace {

// Whether the event device's sound bits (one hexadecimal word in sysfs) hold SND_TONE.
bool CanPlayTones(const std::string& soundBitsFile) {
    std::ifstream in(soundBitsFile);
    std::string bits;
    if (!(in >> bits)) return false;
    char* end = nullptr;
    unsigned long value = std::strtoul(bits.c_str(), &end, 16);
    return end != bits.c_str() && (value >> SND_TONE & 1) != 0;
}

// The "eventN" entries of the input class, in the order of their names.
std::vector<std::string> EventDevices(const std::string& inputClass) {
    std::vector<std::string> names;
    DIR* dir = inputClass.empty() ? nullptr : ::opendir(inputClass.c_str());
    if (!dir) return names;
    while (const struct dirent* entry = ::readdir(dir)) {
        std::string name = entry->d_name;
        if (name.rfind("event", 0) == 0) names.push_back(name);
    }
    ::closedir(dir);
    std::sort(names.begin(), names.end());
    return names;
}

} // namespace

int OpenToneDevice(const SpeakerPlaces& places) {
    for (const std::string& name : EventDevices(places.inputClass)) {
        if (!CanPlayTones(places.inputClass + "/" + name + "/device/capabilities/snd")) continue;
        int fd = ::open((places.inputDevices + "/" + name).c_str(), O_WRONLY | O_CLOEXEC | O_NONBLOCK);
        if (fd >= 0) return fd;
    }
    return -1;
}

Speaker& Speaker::Get() {
    static Speaker speaker;
    return speaker;
}

// The loop is made first, so that it outlives the speaker's timer.
Speaker::Speaker() : timer_(EventLoop::Get().CreateTimer([this] { ToneEnded(); })) {}

Speaker::~Speaker() {
    EndRun();
    EventLoop::Get().DestroyTimer(timer_);
}

void Speaker::SetPlaces(SpeakerPlaces places) {
    queue_.clear();
    EndRun();
    places_ = std::move(places);
    toldSilent_ = false;
}

void Speaker::Tone(unsigned frequency, unsigned ms) {
    if (queue_.size() >= kMaxQueued) return;
    queue_.push_back({frequency, ms});
    if (!playing_) StartRun();
}

void Speaker::StartRun() {
    playing_ = true;
    device_ = OpenToneDevice(places_);
    if (device_ < 0) {
        if (places_.terminal >= 0 && ::isatty(places_.terminal)) {
            const char bell = '\a';
            (void)!::write(places_.terminal, &bell, 1);
        } else if (!toldSilent_) {
            toldSilent_ = true;
            ReportProblem("An alarm cannot sound: no PC speaker may be opened and standard output is no "
                          "terminal");
        }
    }
    // The tones of a run are paced even where they cannot sound, so that one run rings one bell.
    PlayFront();
}

void Speaker::PlayFront() {
    const QueuedTone& tone = queue_.front();
    Send(tone.frequency);
    EventLoop::Get().StartTimer(timer_, std::max(tone.ms, 1u));
}

void Speaker::ToneEnded() {
    if (!queue_.empty()) queue_.pop_front();
    if (queue_.empty())
        EndRun();
    else
        PlayFront();
}

void Speaker::EndRun() {
    EventLoop::Get().StopTimer(timer_);
    if (device_ >= 0) {
        Send(0);
        ::close(device_);
        device_ = -1;
    }
    playing_ = false;
}

void Speaker::Send(unsigned frequency) {
    if (device_ < 0) return;
    struct input_event event {};
    event.type = EV_SND;
    event.code = SND_TONE;
    event.value = static_cast<int>(frequency);
    if (::write(device_, &event, sizeof event) == static_cast<ssize_t>(sizeof event)) return;
    // A speaker that went away: the rest of the run is silent, the next run looks again.
    ::close(device_);
    device_ = -1;
}

} // namespace platform
