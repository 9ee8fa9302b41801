// The main window's message map.
#include "station/Unit1.h"

void TMainForm::Dispatch(platform::TMessage& message) {
    switch (message.Msg) {
    case MsgRestoreFromTray: RestoreFromTray(); break;
    case MsgStartSession: StartSessionAndReading(); break;
    default: MessageTarget::Dispatch(message); break;
    }
}
