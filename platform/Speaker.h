#pragma once
// The alarm's sound on Linux. A tone goes to the PC speaker through its input event device: the first
// event device whose sound capabilities hold SND_TONE and that the user may open gets EV_SND/SND_TONE
// with the frequency, and 0 when the tone ends. Without one, a run of tones rings the terminal bell once,
// but only when standard output is a terminal (otherwise it carries the status log to a file or a
// journal, where a bell character does not belong). Without either nothing sounds, and the first run of
// tones that cannot sound says so, once, through the problem reporter (FileProblems.h).
//
// Tones are queued and played one after the other from a loop timer, so a sweep of two hundred tones
// never holds up the station's thread. A run ends when the queue is empty: the device is opened at the
// start of a run and closed, silent, at its end.
#include <cstddef>
#include <deque>
#include <string>

namespace platform {

struct SpeakerPlaces {
    std::string inputClass = "/sys/class/input"; // eventN/device/capabilities/snd: the sound bits in hex
    std::string inputDevices = "/dev/input";     // the eventN nodes
    int terminal = 1;                            // rung with BEL when it is a terminal
};

class Speaker {
public:
    static constexpr size_t kMaxQueued = 1000; // tones beyond it are dropped

    static Speaker& Get();
    ~Speaker();
    Speaker(const Speaker&) = delete;
    Speaker& operator=(const Speaker&) = delete;

    // Where the speaker and the terminal are looked for from now on (tests: a made-up device and a
    // pseudo-terminal); a run in progress ends silent, and the next run that cannot sound is told again.
    void SetPlaces(SpeakerPlaces places);
    // Queues a tone of `frequency` Hz (0: a pause) for `ms` milliseconds.
    void Tone(unsigned frequency, unsigned ms);
    // Tones not yet finished, the one sounding included.
    size_t Queued() const { return queue_.size(); }

private:
    struct QueuedTone {
        unsigned frequency;
        unsigned ms;
    };
    Speaker();
    void StartRun();
    void PlayFront();
    void ToneEnded();
    void EndRun();
    void Send(unsigned frequency);

    SpeakerPlaces places_;
    std::deque<QueuedTone> queue_;
    int timer_ = 0;
    int device_ = -1;
    bool playing_ = false;
    bool toldSilent_ = false;
};

// The node of the first event device in `places` that can play tones and opens for writing, opened
// (write-only, close-on-exec); -1 when there is none.
int OpenToneDevice(const SpeakerPlaces& places);

} // namespace platform
