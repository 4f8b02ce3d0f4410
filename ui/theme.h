#pragma once
// The window's colours (ARGB) and layout numbers (device-independent pixels, DIP). Nothing here
// is scaled: drawing multiplies by g_uiScale in one place (draw.h).
#include <cstdint>

namespace theme {

// Colours.
constexpr uint32_t kWhite = 0xFFFFFFFF; // background, light fills, labels on dark buttons
constexpr uint32_t kTextPrimary = 0xFF222228;
constexpr uint32_t kTextSecondary = 0xFF555558;
constexpr uint32_t kTextMuted = 0xFF8D8D8D;
constexpr uint32_t kTextFooter = 0xFFB8B8B9;   // also a hovered unchecked box's outline
constexpr uint32_t kOutline = 0xFFD7D8DA;      // unchecked box, folder box, hovered secondary
constexpr uint32_t kOutlineLight = 0xFFEBECEF; // secondary button
constexpr uint32_t kFillHover = 0xFFF3F4F7;    // hovered secondary button; progress track
constexpr uint32_t kCoreBox = 0xFFE3E4E8;
constexpr uint32_t kAccent = 0xFF6B4292;
constexpr uint32_t kAccentHover = 0xFF7D55A6;
constexpr uint32_t kAccentPressed = 0xFF58337C;
constexpr uint32_t kAccentShadow = 0x123A1D5E;
constexpr uint32_t kDanger = 0xFFE5484D; // also the error text
constexpr uint32_t kDangerHover = 0xFFD94045;
constexpr uint32_t kDangerPressed = 0xFFC93A3F;
constexpr uint32_t kProgressFill = 0xFFFFB400;

// The keyboard focus: a ring this wide, this far outside the control's frame, in kAccent
// (about 7.5:1 against the white background).
constexpr float kFocusRingWidth = 2.0f, kFocusRingGap = 2.0f, kFocusRingRadius = 9.0f;

// Outlines (buttons, boxes, the folder box) are this many device pixels wide at every scale.
constexpr float kOutlinePixels = 1.0f;

// Font em sizes.
constexpr float kTitleEm = 24.0f;
constexpr float kBodyEm = 14.5f;
constexpr float kSmallEm = 12.5f;
constexpr float kButtonEm = 14.0f;
constexpr float kHeadingEm = 13.0f;

// Page frame.
constexpr float kMargin = 32.0f;
constexpr float kLogoX = 32.0f, kLogoY = 26.0f, kLogoHeight = 44.0f;
constexpr float kTitleY = 92.0f, kTitleHeight = 34.0f;
constexpr float kContentTop = 134.0f;
constexpr float kParagraphHeight = 44.0f, kParagraphAdvance = 46.0f;
constexpr float kErrorFromBottom = 118.0f, kErrorHeight = 44.0f;
constexpr float kButtonRowFromBottom = 64.0f, kButtonHeight = 40.0f, kButtonGap = 10.0f;
constexpr float kFooterWidth = 200.0f;

// Buttons.
constexpr float kCancelWidth = 120.0f; // "Отмена", and "Закрыть" beside "Запустить"
constexpr float kCloseAloneWidth = 140.0f;
constexpr float kLaunchWidth = 150.0f;
constexpr float kActionWidth = 160.0f; // the primary button while Idle or Failed
constexpr float kButtonRadius = 8.0f;
constexpr float kShadowRadius = 10.0f;
constexpr float kShadowInset = 2.0f;                 // on each side
constexpr float kShadowDrops[] = {6.0f, 4.0f, 2.0f}; // drawn in this order: darkest near the top

// Check boxes and component rows. A control's parts are placed from the top of its frame, the
// rectangle that is also its hit rectangle.
constexpr float kBoxSize = 18.0f, kBoxRadius = 5.0f;
constexpr float kTickWidth = 2.0f;
constexpr float kTickPoints[3][2] = {{4.5f, 9.5f}, {7.8f, 12.8f}, {13.5f, 5.5f}}; // from the box
constexpr float kLabelOffset = 28.0f; // box and gap before a label
constexpr float kCheckHeight = 24.0f; // the least; a taller label makes the frame taller
constexpr float kCheckBoxTop = 3.0f, kCheckLabelInset = 1.0f; // above and below the label
constexpr float kCheckSpacing = 6.0f;                         // to the next control's frame
constexpr float kRowHeight = 40.0f, kRowSpacing = 4.0f;
constexpr float kRowBoxTop = 4.0f, kRowTitleTop = 2.0f, kRowTitleHeight = 20.0f;
constexpr float kRowDescriptionTop = 21.0f, kRowDescriptionHeight = 18.0f;
constexpr float kRowSizeWidth = 80.0f;
static_assert(kRowDescriptionTop + kRowDescriptionHeight <= kRowHeight, "a row holds its text");
static_assert(kCheckBoxTop + kBoxSize <= kCheckHeight, "a check box's frame holds its box");

// Ready page.
constexpr float kHeadingWidth = 300.0f, kHeadingHeight = 20.0f;
constexpr float kFolderBoxTop = 24.0f, kFolderBoxHeight = 36.0f, kFolderBoxRadius = 6.0f;
constexpr float kFolderTextInset = 12.0f;
constexpr float kChooseButtonWidth = 108.0f;
constexpr float kFolderBoxRightGap = kChooseButtonWidth + 10.0f; // button and gap right of it
constexpr float kFolderChooserAdvance = 78.0f;
constexpr float kComponentsHeadingAdvance = 26.0f; // to the first row's frame
constexpr float kAfterRows = 3.0f;                 // to the first check box's frame
constexpr float kConfirmBoxTop = 1.0f;             // below the paragraph's advance

// Progress block.
constexpr float kTrackTop = 8.0f, kTrackHeight = 10.0f, kTrackRadius = 5.0f;
constexpr float kMinFillWidth = 10.0f; // a started bar is a full pill
constexpr float kProgressTextTop = 24.0f, kProgressTextHeight = 20.0f;
constexpr float kSizeTextReserve = 140.0f; // kept free right of the status line
constexpr float kProgressAdvance = 56.0f;

} // namespace theme
