#include "onewire/DiagnosticDatagram.h"

#include "net/DiagnosticDatagram.h"
#include "station/Unit1.h"

void SendDiagnosticDatagram(const std::string& text) {
    // A diagnostic must never break the reading that sends it.
    try {
        if (TMainForm::DiagnosticListenerPort != "0")
            net::SendDiagnosticDatagram(text, TMainForm::DiagnosticListenerPort);
    } catch (...) {
    }
}
