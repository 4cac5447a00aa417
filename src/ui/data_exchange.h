// The data exchange between the window's controls and the settings record,
// in both directions, in its fixed order.
#pragma once

#include <string>

#include "model/settings.h"
#include "model/validation.h"
#include "ui/view.h"

namespace srom {

// The framework's own messages of a refused exchange.
std::string TooManyCharactersMessage(int limit);
inline constexpr char kEnterWholeNumber[] = "輸入整數。";
std::string WholeNumberRangeMessage(int low, int high);

inline constexpr int kMinDelayTime = 0;
inline constexpr int kMaxDelayTime = 15;

// Controls into the record. A text longer than its box's limit is copied,
// then stops the exchange with its message and the focus in that box; a
// "Delay time" that is no whole number, or one outside 0..15 (copied first),
// stops it too. The fields after the stop keep their values. True when the
// whole exchange ran.
bool ExchangeToRecord(View& view, SromSettings& settings);

// The record into the controls, with each box's character limit; a control
// that already shows its field is left alone.
void ExchangeToWindow(View& view, const SromSettings& settings);

// The box a field is shown in, and the field a box shows (Field::kNone for a
// box that shows none of them).
ControlId ControlOf(Field field);
Field FieldOf(ControlId id);

// Parses a whole number as the exchange accepts it: optional blanks, an
// optional sign, digits, optional blanks.
bool ParseWholeNumber(const std::string& text, int& value);

}  // namespace srom
