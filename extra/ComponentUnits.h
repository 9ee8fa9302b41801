#pragma once
// The start of the further component units that the station program carries beside its own windows:
// what they register as the program starts. The icon clipboard format goes to the picture class (so
// that pictures paste icons), the form components' cursors 14000 and 14001 ("RX_HANDCUR",
// "RX_DRAGCUR") and the pro controls' cursors 15000 to 15004 ("PRO_HANDPOINT" ... "PRO_DRAGHAND") to
// the screen. The main window runs it as it is made; running it again changes nothing.
namespace extra {

void StartComponentUnits();

} // namespace extra
