// The status logger: one line to the memo, the status bar, the splash, korvane.log, standard output and
// (when enabled) a datagram. It never throws: every caller logs from inside its own error handling.
// A line that repeats too often goes nowhere and is counted (TLogLimiter); the counts are told a minute
// after the first line held back.
#include <cstdio>

#include "platform/Files.h"
#include "platform/Shell.h"
#include "platform/Strings.h"
#include "station/CommandDesk.h"
#include "station/SplashScreen.h"
#include "station/Unit1.h"

using namespace platform;

std::string LastStatusText;

void TMainForm::LogStatus(const std::string& message) {
    if (Contains(message, "(WY")) return;
    try {
        // One log line whatever the text holds: an error text with line breaks (a socket error carries
        // CR LF) would otherwise start a line without date and time in korvane.log.
        const std::string text = OneLine(message);
        if (!logLimiter_.Admit(text, GetTickCount())) return TellHeldBackLater();
        LocalTime now = Clock::Get().Now();
        if (splash_) splash_->AddLine(text);
        std::string line = Format("%02d:%02d:%02d ", now.hour, now.minute, now.second) + text;
        LastStatusText = ": " + line;
        if (logCapture_) logCapture_->push_back(Latin1ToUtf8(line));
        if (commands_) commands_->Transfers().Logged(text, Latin1ToUtf8(line));

        AddListLine(*DisplayMemo, line);
        StatusBar->Panel(1) = line;
        if (StationOptions.EchoLogToStdout) {
            if (StationOptions.PrintLogLine) {
                StationOptions.PrintLogLine(Latin1ToUtf8(line));
            } else {
                std::string shown = Latin1ToUtf8(line) + "\n";
                std::fwrite(shown.data(), 1, shown.size(), stdout);
                std::fflush(stdout);
            }
        }

        if (LogStatusToFileCheckBox->Checked()) {
            AppendToFile("korvane.log", Format("%02d.%02d.%d ", CurrentDate.da_day, CurrentDate.da_mon,
                                               CurrentDate.da_year) +
                                            line + "\n");
        }
        if (StationSettings.StatusEnabled && !logCopyBusy_) {
            // A socket error that logs must not re-enter the copy in the middle of a send.
            logCopyBusy_ = true;
            bool sent = false;
            try {
                sent = SendStatusLogCopy(line);
            } catch (...) {
            }
            logCopyBusy_ = false;
            if (!sent && !logCopyUnavailableReported_) {
                logCopyUnavailableReported_ = true;
                LogStatus("SERVER: UDP copy of the status log is not available");
            }
        }
    } catch (...) {
        // A log line that cannot be shown is dropped; the caller's own recovery goes on.
    }
}

void TMainForm::AddListLine(TMemo& list, const std::string& line) {
    TStringList& lines = list.Lines();
    lines.BeginUpdate();
    if (lines.Count() > kListLimit)
        for (int i = 0; i < kListTrim; ++i)
            lines.Delete(0);
    lines.Add(line);
    lines.EndUpdate();
}

void TMainForm::TellHeldBackLater() {
    if (heldBackSummary_ == nullptr) {
        heldBackSummary_ = MakeOwned<TTimer>(this, "HeldBackSummary");
        heldBackSummary_->SetInterval(60000);
        heldBackSummary_->OnTimer = [this](TTimer* timer) {
            timer->SetEnabled(false);
            for (const std::string& line : logLimiter_.TakeSummaries())
                LogStatus(line);
        };
    }
    heldBackSummary_->SetEnabled(true);
}

void TMainForm::Openlog1Click(TComponent*) {
    // The desktop's viewer of text files shows it (the shell's results 32 and below are errors).
    int result = ShellExecute(Handle(), "", "korvane.log", "", "", SW_SHOWNORMAL);
    if (result <= 32) LogStatus(Format("SERVER: Error opening korvane.log (%d)", result));
}

void TMainForm::ClearStatusListClick(TComponent*) {
    DisplayMemo->Clear();
}

void TMainForm::Clearlog1Click(TComponent*) {
    DisplayMemo->Clear();
}

void TMainForm::LogStatusToFileCheckBoxClick(TComponent*) {
    try {
        IniFile->WriteBool("Weather", "LogStatusToFile", LogStatusToFileCheckBox->Checked());
    } catch (const std::exception& e) {
        LogStatus("SERVER: Error: " + std::string(e.what()));
    }
}

void TMainForm::DbgCheckBoxClick(TComponent*) {
    try {
        IniFile->WriteBool("Weather", "Debug", DbgCheckBox->Checked());
    } catch (const std::exception& e) {
        LogStatus("SERVER: Error: " + std::string(e.what()));
    }
}
