// SDL's keys as Win32's key messages, and the keys the layer answers itself.
//
// Implements: the virtual-key code of an SDL key (layout-dependent letters by their
//   symbol, as Windows' virtual keys follow the layout; the main row's digits and
//   the punctuation keys by their place, as Windows gives them on every layout),
//   the message (WM_KEYDOWN / WM_KEYUP, or WM_SYSKEYDOWN / WM_SYSKEYUP with Alt
//   held, for Alt itself and for F10) and its lParam: a repeat count of 1, bit 29
//   with Alt held, bit 30 when the key was down already (a held key's repeat, and
//   every release), bit 31 on a release. The layer's own keys: F11 and Alt+Enter
//   toggle fullscreen, Escape leaves it; they and their releases reach no window.
// Does not: give scan codes or the extended-key bit (bits 16 to 24 are 0), make
//   WM_CHAR, or map keys without a virtual-key code here (media and application
//   keys, IME keys): those are dropped.
#include "sdl_backend.h"

namespace fwsdl {

namespace {

struct KeyCode {
    SDL_Keycode sym;
    UINT vk;
};

// By symbol: what does not move with the layout.
const KeyCode kBySymbol[] = {
    {SDLK_BACKSPACE, VK_BACK},
    {SDLK_TAB, VK_TAB},
    {SDLK_RETURN, VK_RETURN},
    {SDLK_ESCAPE, VK_ESCAPE},
    {SDLK_SPACE, VK_SPACE},
    {SDLK_PAGEUP, VK_PRIOR},
    {SDLK_PAGEDOWN, VK_NEXT},
    {SDLK_END, VK_END},
    {SDLK_HOME, VK_HOME},
    {SDLK_LEFT, VK_LEFT},
    {SDLK_UP, VK_UP},
    {SDLK_RIGHT, VK_RIGHT},
    {SDLK_DOWN, VK_DOWN},
    {SDLK_INSERT, VK_INSERT},
    {SDLK_DELETE, VK_DELETE},
    {SDLK_PAUSE, VK_PAUSE},
    {SDLK_CAPSLOCK, VK_CAPITAL},
    {SDLK_LSHIFT, VK_SHIFT},
    {SDLK_RSHIFT, VK_SHIFT},
    {SDLK_LCTRL, VK_CONTROL},
    {SDLK_RCTRL, VK_CONTROL},
    {SDLK_LALT, VK_MENU},
    {SDLK_RALT, VK_MENU},
    {SDLK_KP_ENTER, VK_RETURN},
    {SDLK_KP_MULTIPLY, VK_MULTIPLY},
    {SDLK_KP_PLUS, VK_ADD},
    {SDLK_KP_MINUS, VK_SUBTRACT},
    {SDLK_KP_PERIOD, VK_DECIMAL},
    {SDLK_KP_DIVIDE, VK_DIVIDE},
};

// By place: the punctuation keys of a US keyboard's places (VK_OEM_*).
const struct {
    SDL_Scancode scancode;
    UINT vk;
} kByPlace[] = {
    {SDL_SCANCODE_SEMICOLON, 0xBA},    {SDL_SCANCODE_EQUALS, 0xBB},      {SDL_SCANCODE_COMMA, 0xBC},
    {SDL_SCANCODE_MINUS, 0xBD},        {SDL_SCANCODE_PERIOD, 0xBE},      {SDL_SCANCODE_SLASH, 0xBF},
    {SDL_SCANCODE_GRAVE, 0xC0},        {SDL_SCANCODE_LEFTBRACKET, 0xDB}, {SDL_SCANCODE_BACKSLASH, 0xDC},
    {SDL_SCANCODE_RIGHTBRACKET, 0xDD}, {SDL_SCANCODE_APOSTROPHE, 0xDE},
};

bool gKeptUntilUp[SDL_NUM_SCANCODES];  // pressed as one of the layer's keys

}  // namespace

UINT virtualKey(const SDL_Keysym& key) {
    SDL_Scancode place = key.scancode;
    if (key.sym >= SDLK_a && key.sym <= SDLK_z) return static_cast<UINT>('A' + (key.sym - SDLK_a));
    if (place >= SDL_SCANCODE_1 && place <= SDL_SCANCODE_9) return static_cast<UINT>('1' + (place - SDL_SCANCODE_1));
    if (place == SDL_SCANCODE_0) return '0';
    if (place >= SDL_SCANCODE_F1 && place <= SDL_SCANCODE_F12) return VK_F1 + (place - SDL_SCANCODE_F1);
    if (place >= SDL_SCANCODE_KP_1 && place <= SDL_SCANCODE_KP_9) return VK_NUMPAD0 + 1 + (place - SDL_SCANCODE_KP_1);
    if (place == SDL_SCANCODE_KP_0) return VK_NUMPAD0;
    for (const KeyCode& known : kBySymbol)
        if (known.sym == key.sym) return known.vk;
    for (const auto& known : kByPlace)
        if (known.scancode == place) return known.vk;
    return 0;
}

KeyMessage keyMessage(const SDL_KeyboardEvent& event) {
    KeyMessage message = {0, 0, 0};
    UINT vk = virtualKey(event.keysym);
    if (vk == 0) return message;
    bool down = event.type == SDL_KEYDOWN, alt = (event.keysym.mod & KMOD_ALT) != 0;
    bool system = alt || vk == VK_MENU || vk == VK_F1 + 9;  // F10 opens menus, as Alt does
    message.message = system ? (down ? WM_SYSKEYDOWN : WM_SYSKEYUP) : (down ? WM_KEYDOWN : WM_KEYUP);
    message.wParam = vk;
    LPARAM flags = 1;
    if (alt) flags |= 1L << 29;
    if (!down || event.repeat) flags |= 1L << 30;
    if (!down) flags |= 1L << 31;
    message.lParam = flags;
    return message;
}

bool takeLayerKey(WindowRecord* window, const SDL_KeyboardEvent& event) {
    SDL_Scancode place = event.keysym.scancode;
    if (event.type == SDL_KEYUP) {
        bool kept = gKeptUntilUp[place];
        gKeptUntilUp[place] = false;
        return kept;
    }
    if (gKeptUntilUp[place]) return true;  // a repeat of it
    bool alt = (event.keysym.mod & KMOD_ALT) != 0;
    SDL_Keycode sym = event.keysym.sym;
    bool toggle = sym == SDLK_F11 || (alt && (sym == SDLK_RETURN || sym == SDLK_KP_ENTER));
    bool leave = sym == SDLK_ESCAPE && window->fullscreen;
    if (!toggle && !leave) return false;
    setFullscreen(window, toggle ? !window->fullscreen : false);
    gKeptUntilUp[place] = true;
    return true;
}

}  // namespace fwsdl
