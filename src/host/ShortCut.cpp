#include "ShortCut.h"

#include <utility>

namespace qide {

namespace {

// Virtual-key codes that are not letters or digits. Where two codes give
// the same Qt key, the first (main keyboard) wins on the way back.
constexpr std::pair<int, Qt::Key> VirtualKeys[] = {
    {0x08, Qt::Key_Backspace},   {0x09, Qt::Key_Tab},          {0x0D, Qt::Key_Return},
    {0x13, Qt::Key_Pause},       {0x1B, Qt::Key_Escape},       {0x20, Qt::Key_Space},
    {0x21, Qt::Key_PageUp},      {0x22, Qt::Key_PageDown},     {0x23, Qt::Key_End},
    {0x24, Qt::Key_Home},        {0x25, Qt::Key_Left},         {0x26, Qt::Key_Up},
    {0x27, Qt::Key_Right},       {0x28, Qt::Key_Down},         {0x2C, Qt::Key_Print},
    {0x2D, Qt::Key_Insert},      {0x2E, Qt::Key_Delete},       {0x2F, Qt::Key_Help},
    {0xBA, Qt::Key_Semicolon},   {0xBB, Qt::Key_Equal},        {0xBC, Qt::Key_Comma},
    {0xBD, Qt::Key_Minus},       {0xBE, Qt::Key_Period},       {0xBF, Qt::Key_Slash},
    {0xC0, Qt::Key_QuoteLeft},   {0xDB, Qt::Key_BracketLeft},  {0xDC, Qt::Key_Backslash},
    {0xDD, Qt::Key_BracketRight}, {0xDE, Qt::Key_Apostrophe},  {0x6A, Qt::Key_Asterisk},
    {0x6B, Qt::Key_Plus},        {0x6D, Qt::Key_Minus},        {0x6E, Qt::Key_Period},
    {0x6F, Qt::Key_Slash},       {0x90, Qt::Key_NumLock},      {0x91, Qt::Key_ScrollLock},
    {0x14, Qt::Key_CapsLock},    {0x5D, Qt::Key_Menu},
};

int QtKeyOf(int vk)
{
    if ((vk >= '0' && vk <= '9') || (vk >= 'A' && vk <= 'Z'))
        return vk; // Qt uses the same codes
    if (vk >= 0x60 && vk <= 0x69) // numeric keypad digits
        return Qt::Key_0 + (vk - 0x60);
    if (vk >= 0x70 && vk <= 0x87)
        return Qt::Key_F1 + (vk - 0x70);
    for (const auto &[code, key] : VirtualKeys)
        if (code == vk)
            return key;
    return 0;
}

int VirtualKeyOf(int key)
{
    if ((key >= Qt::Key_0 && key <= Qt::Key_9) || (key >= Qt::Key_A && key <= Qt::Key_Z))
        return key;
    if (key >= Qt::Key_F1 && key <= Qt::Key_F24)
        return 0x70 + (key - Qt::Key_F1);
    for (const auto &[code, k] : VirtualKeys)
        if (k == key)
            return code;
    return 0;
}

} // namespace

QKeySequence ShortCutToKeySequence(TShortCut shortCut)
{
    const int key = QtKeyOf(shortCut & 0xFF);
    if (key == 0)
        return {};
    Qt::KeyboardModifiers mods;
    if (shortCut & scShift)
        mods |= Qt::ShiftModifier;
    if (shortCut & scCtrl)
        mods |= Qt::ControlModifier;
    if (shortCut & scAlt)
        mods |= Qt::AltModifier;
    return QKeySequence(QKeyCombination(mods, Qt::Key(key)));
}

TShortCut KeySequenceToShortCut(const QKeySequence &sequence)
{
    if (sequence.count() != 1)
        return 0;
    const QKeyCombination chord = sequence[0];
    const int vk = VirtualKeyOf(chord.key());
    if (vk == 0)
        return 0;
    TShortCut result = TShortCut(vk);
    const Qt::KeyboardModifiers mods = chord.keyboardModifiers();
    if (mods & Qt::ShiftModifier)
        result |= scShift;
    if (mods & Qt::ControlModifier)
        result |= scCtrl;
    if (mods & Qt::AltModifier)
        result |= scAlt;
    return result;
}

} // namespace qide
