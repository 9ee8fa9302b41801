#pragma once
// The button kinds of the pro buttons and their captions: one English kind and fourteen languages for
// each of Cancel ... Finish, plus Ok and Custom (197 kinds). The captions are string resources
// numbered 30100 + 20 x language + base kind (language 0 English, 1 Rus ... 14 Slk in the enumeration's
// suffix order; base kind 0 Ok ... 13 Finish in TProButtonBase's order); Ok always uses 30100.
#include <string>

namespace extra {

enum class TProButtonBase {
    Ok,
    Cancel,
    Help,
    Yes,
    No,
    Close,
    Abort,
    Retry,
    Ignore,
    All,
    Done,
    Prev,
    Next,
    Finish
};
inline constexpr int kProLanguageCount = 15;
inline constexpr int kProCaptionFirstId = 30100;

// clang-format off
enum TProButtonKind : int {
    pbkCustom, pbkOk,
    pbkCancel, pbkCancelRus, pbkCancelUkr, pbkCancelFr, pbkCancelPor,
        pbkCancelEsp, pbkCancelGer, pbkCancelDan, pbkCancelIta, pbkCancelSwe,
        pbkCancelDut, pbkCancelPol, pbkCancelHun, pbkCancelTur, pbkCancelSlk,
    pbkHelp, pbkHelpRus, pbkHelpUkr, pbkHelpFr, pbkHelpPor,
        pbkHelpEsp, pbkHelpGer, pbkHelpDan, pbkHelpIta, pbkHelpSwe,
        pbkHelpDut, pbkHelpPol, pbkHelpHun, pbkHelpTur, pbkHelpSlk,
    pbkYes, pbkYesRus, pbkYesUkr, pbkYesFr, pbkYesPor,
        pbkYesEsp, pbkYesGer, pbkYesDan, pbkYesIta, pbkYesSwe,
        pbkYesDut, pbkYesPol, pbkYesHun, pbkYesTur, pbkYesSlk,
    pbkNo, pbkNoRus, pbkNoUkr, pbkNoFr, pbkNoPor,
        pbkNoEsp, pbkNoGer, pbkNoDan, pbkNoIta, pbkNoSwe,
        pbkNoDut, pbkNoPol, pbkNoHun, pbkNoTur, pbkNoSlk,
    pbkClose, pbkCloseRus, pbkCloseUkr, pbkCloseFr, pbkClosePor,
        pbkCloseEsp, pbkCloseGer, pbkCloseDan, pbkCloseIta, pbkCloseSwe,
        pbkCloseDut, pbkClosePol, pbkCloseHun, pbkCloseTur, pbkCloseSlk,
    pbkAbort, pbkAbortRus, pbkAbortUkr, pbkAbortFr, pbkAbortPor,
        pbkAbortEsp, pbkAbortGer, pbkAbortDan, pbkAbortIta, pbkAbortSwe,
        pbkAbortDut, pbkAbortPol, pbkAbortHun, pbkAbortTur, pbkAbortSlk,
    pbkRetry, pbkRetryRus, pbkRetryUkr, pbkRetryFr, pbkRetryPor,
        pbkRetryEsp, pbkRetryGer, pbkRetryDan, pbkRetryIta, pbkRetrySwe,
        pbkRetryDut, pbkRetryPol, pbkRetryHun, pbkRetryTur, pbkRetrySlk,
    pbkIgnore, pbkIgnoreRus, pbkIgnoreUkr, pbkIgnoreFr, pbkIgnorePor,
        pbkIgnoreEsp, pbkIgnoreGer, pbkIgnoreDan, pbkIgnoreIta, pbkIgnoreSwe,
        pbkIgnoreDut, pbkIgnorePol, pbkIgnoreHun, pbkIgnoreTur, pbkIgnoreSlk,
    pbkAll, pbkAllRus, pbkAllUkr, pbkAllFr, pbkAllPor,
        pbkAllEsp, pbkAllGer, pbkAllDan, pbkAllIta, pbkAllSwe,
        pbkAllDut, pbkAllPol, pbkAllHun, pbkAllTur, pbkAllSlk,
    pbkDone, pbkDoneRus, pbkDoneUkr, pbkDoneFr, pbkDonePor,
        pbkDoneEsp, pbkDoneGer, pbkDoneDan, pbkDoneIta, pbkDoneSwe,
        pbkDoneDut, pbkDonePol, pbkDoneHun, pbkDoneTur, pbkDoneSlk,
    pbkPrev, pbkPrevRus, pbkPrevUkr, pbkPrevFr, pbkPrevPor,
        pbkPrevEsp, pbkPrevGer, pbkPrevDan, pbkPrevIta, pbkPrevSwe,
        pbkPrevDut, pbkPrevPol, pbkPrevHun, pbkPrevTur, pbkPrevSlk,
    pbkNext, pbkNextRus, pbkNextUkr, pbkNextFr, pbkNextPor,
        pbkNextEsp, pbkNextGer, pbkNextDan, pbkNextIta, pbkNextSwe,
        pbkNextDut, pbkNextPol, pbkNextHun, pbkNextTur, pbkNextSlk,
    pbkFinish, pbkFinishRus, pbkFinishUkr, pbkFinishFr, pbkFinishPor,
        pbkFinishEsp, pbkFinishGer, pbkFinishDan, pbkFinishIta, pbkFinishSwe,
        pbkFinishDut, pbkFinishPol, pbkFinishHun, pbkFinishTur, pbkFinishSlk,
};
// clang-format on
inline constexpr int kProButtonKindCount = 197;

// The base kind and language of a kind other than pbkCustom.
TProButtonBase ProButtonBase(TProButtonKind kind);
int ProButtonLanguage(TProButtonKind kind);
// The string resource of a kind's caption (0 for pbkCustom).
int ProButtonCaptionId(TProButtonKind kind);
// A caption string resource by its number; empty for a number that is none.
std::string LoadProString(int id);

} // namespace extra
