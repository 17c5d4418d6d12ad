#include "platform/ScreenSaverView.h"

namespace platform {

void ViewRunner::display() {
    Host& host = view_.host();
    host.currentContext = &context_;
    view_.draw(view_.bounds());
    context_.flush();
    host.currentContext = nullptr;
    view_.setNeedsDisplay(false);
}

void ViewRunner::tick() {
    view_.animateOneFrame();
    if (view_.needsDisplay()) display();
}

}  // namespace platform
