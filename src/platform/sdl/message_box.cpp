// MessageBoxA: the text always goes to standard error first, as one line
// "<caption>: <text>" in UTF-8, flushed, so that it is seen without a display;
// then a modal box titled with the caption shows it (SDL_ShowMessageBox) with one
// OK button that Return, Escape or the close button dismiss, owned by the given
// window or none; while the session ends (session_end.cpp) there is no box, and
// a box up when it begins is closed. When the box cannot be shown (no display, no X core fonts), one
// more line says so with SDL's reason. The result is IDOK in every case.
// Not supported: buttons other than OK (MB_OKCANCEL, MB_YESNO, ...: still one OK
// button), icons other than the error icon, the MB_*MODAL and MB_TOPMOST styles.
// Repaint requests wait until the box is dismissed.
//
// Implements: MessageBoxA (see above).
#include <cstdio>
#include <cstring>
#include <string>

#include "sdl_backend.h"

using namespace fwsdl;

int WINAPI MessageBoxA(HWND hWnd, LPCSTR lpText, LPCSTR lpCaption, UINT uType) {
    std::string text = fwlayer::cp932ToUtf8(lpText != nullptr ? lpText : "");
    std::string caption = fwlayer::cp932ToUtf8(lpCaption != nullptr ? lpCaption : "Error");
    std::fprintf(stderr, "%s: %s\n", caption.c_str(), text.c_str());
    std::fflush(stderr);
    // A box would hold up the end of the session (a closed terminal, a logout).
    if (sessionEnding()) return IDOK;

    SDL_MessageBoxButtonData button;
    std::memset(&button, 0, sizeof button);
    button.flags = SDL_MESSAGEBOX_BUTTON_RETURNKEY_DEFAULT | SDL_MESSAGEBOX_BUTTON_ESCAPEKEY_DEFAULT;
    button.buttonid = IDOK;
    button.text = "OK";

    SDL_MessageBoxData box;
    std::memset(&box, 0, sizeof box);
    box.flags = (uType & MB_ICONERROR) != 0 ? SDL_MESSAGEBOX_ERROR : SDL_MESSAGEBOX_INFORMATION;
    WindowRecord* owner = windowFromHandle(hWnd);
    box.window = owner != nullptr ? owner->sdl : nullptr;
    box.title = caption.c_str();
    box.message = text.c_str();
    box.numbuttons = 1;
    box.buttons = &button;
    int pressed = 0;
    if (SDL_ShowMessageBox(&box, &pressed) != 0 && !sessionEnding()) {
        std::fprintf(stderr, "fernwood2: the box \"%s\" could not be shown: %s\n", caption.c_str(), SDL_GetError());
        std::fflush(stderr);
    }
    return IDOK;
}
