#include "onewire/DiagnosticDatagram.h"

#include "net/DiagnosticDatagram.h"

std::string DiagnosticListenerPort = net::kDiagnosticPort;

void SendDiagnosticDatagram(const std::string& text) {
    // A diagnostic must never break the reading that sends it.
    try {
        if (DiagnosticListenerPort != "0") net::SendDiagnosticDatagram(text, DiagnosticListenerPort);
    } catch (...) {
    }
}
