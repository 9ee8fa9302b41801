#include "ui/TitleEcho.h"

void TTitleEcho::Show(const std::string& title) {
    if (!terminal_ || (printedAny_ && title == printed_)) return;
    printed_ = title;
    printedAny_ = true;
    print_(title);
}
