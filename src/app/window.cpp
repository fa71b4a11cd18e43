#include "app/window.h"

#include "text/encoding.h"

namespace sucaigang {

void Window::MessageBox(const Text& text) { MessageBox(text, "信息："_gbk); }

}  // namespace sucaigang
