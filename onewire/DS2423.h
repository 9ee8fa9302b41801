#pragma once
// A DS2423 counter (family 0x1D): one memory page read together with its 32-bit counter, scaled by a
// multiplier, with the running count, the count at the start of the day, a count rate per second and a
// 61-entry history of counts taken once a minute. The rain gauge and the wind sensor derive from it.
#include <cstdint>
#include <optional>
#include <string>

#include "onewire/HourlyRun.h"
#include "onewire/iButton.h"

class DS2423 : public iButton {
public:
    static constexpr uint8_t kFamily = 0x1D;
    static constexpr int kHistory = 61;

    DS2423(int tag, const uint16_t* couplerSerial, int couplerBranch);

    void LoadSettings();
    void SaveSettings();
    // One page read with its counter. The counter is 32-bit unsigned: every value is a count, and
    // Multiplier x raw count wraps modulo 2^32 as the counter does. False when the read failed.
    bool ReadCounter(uint32_t& count);
    // The minute step: the history ages by one entry and entry 0 takes the count last read.
    void UpdateCountHistory();
    void LogData();

    void ResetDaily() override;
    void InitHistory() override;
    int Read() override;
    std::string GetHTML() override;
    std::string GetStatus() override;
    virtual void ResetHistory();

    // |CountHistory[0] - CountHistory[1]|, |RunningCounter - CountHistory[59]|, |RunningCounter -
    // TodayCounter|.
    uint32_t CountsPerMinute() const;
    uint32_t CountsPerHour() const;
    uint32_t CountsToday() const;
    // RunningCounter is a count: the gauge's kept one, or one read (a read after the first takes it).
    bool HoldsCount() const { return countHeld_; }
    // The count the last read found. RunningCounter takes a count from the second read on; until then it
    // holds the count kept from the last run (or 0), which may be long past. Before any read: that count.
    int32_t LastCountRead() const { return PreviousTick == 0 ? RunningCounter : PreviousCount; }
    // The last read found the counter started again (a battery change, the chip reset): its count went
    // back, and every count held moved with it (MoveCounts). That read gives no rate.
    bool CountStartedAgain() const { return startedAgain_; }
    // The session ends (a restart, the program's end): the steps back not told yet are told now.
    void EndRuns();

    // The counts below are the counter's 32-bit values held as they wrap (modulo 2^32); differences go
    // through CountDifference and CountDistance, never by sign or size.
    int32_t Multiplier = 1;
    int32_t ReadPage = 15;
    float CountRate = 0;
    int32_t CountChanged = 0;
    uint32_t LastCountTime = 0;
    int32_t PreviousCount = 0;
    int32_t RunningCounter = 0;
    int32_t TodayCounter = 0;
    uint32_t PreviousTick = 0; // 0 = no read yet
    uint32_t CurrentTick = 0;
    int32_t CountHistory[kHistory] = {};

protected:
    // A start key is a count a total starts at (today's here; a role adds its own). One the section
    // lacked at the load takes the first count this object reads, in the role it was made for, and is
    // written into the section then; one the section has is kept. Called once, on the first read. (A rain
    // gauge that kept its count starts today at that count instead, at the load.)
    virtual void StartAtFirstCount(int32_t first);
    // The counter started again: each count held moves by `step` (modulo 2^32), so that every figure
    // made of two of them (today's count, the minute history's) stays as it was and counting goes on
    // from the new count. A start the section keeps is written moved. A role moves its own as well.
    virtual void MoveCounts(int32_t step);
    // What a counter that started again keeps, for the log line that tells it.
    virtual std::string KeptWhenStartedAgain() const;
    // Writes a count under `key` when the section keeps one there.
    void WriteIfKept(const char* key, int32_t count);

private:
    // The count went from `last` to `now` and started again: the counts move, and a line says so (at
    // once for the first of a run of them, see stepsBack_).
    void StartedAgain(int32_t last, int32_t now);

    bool todayFromFirstCount_ = false; // no TodayCounter in the section
    bool countHeld_ = false;
    // The last count the section kept (its count at the last save, else today's start): a first count
    // behind it is a counter that started again while the station was down. Empty after the first read.
    std::optional<int32_t> keptCount_;
    bool startedAgain_ = false; // by the last read
    // The steps back: the first of a run is told at once, later ones at most once an hour with a count
    // (a flaky count that dips by one and comes back, read after read); a run ends after its quiet time
    // without one (THourlyRun::QuietMs of the counter's read interval), or with the session, telling the
    // count not yet told.
    THourlyRun stepsBack_;
    void EndQuietStepsBack();
    void EndStepsBack();
};

// Counter arithmetic on 32-bit counts that may wrap: the difference a - b taken modulo 2^32 and read as
// signed, and its magnitude (never overflowing, even for the most negative difference).
int32_t CountDifference(int32_t a, int32_t b);
uint32_t CountDistance(int32_t a, int32_t b);
// A counter that went from `last` to `now` went back (it started again): it went forward by 2^31 counts
// or more, which no counter does between two reads (the difference read as signed is negative, and the
// count rate takes none of it either). Less is a count that may have wrapped past 2^32, and the
// difference modulo 2^32 is what it counted.
bool CountWentBack(int32_t last, int32_t now);
// `count` moved by `step`, modulo 2^32.
int32_t CountMoved(int32_t count, int32_t step);
