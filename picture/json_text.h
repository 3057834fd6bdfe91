// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// What the readers of the picture's parameters and of a path file share:
// texts from untrusted JSON, checked and named the same way. Not part of the
// interface.

#include <string>
#include <string_view>

#include "headless.h"

class QJsonObject;

namespace plorvex::picture::detail {

// A text from a file, fit for a message: quoted, control characters escaped,
// cut after 40 characters.
std::string shownText(std::string_view text);
// The text as a JSON string, plain ASCII.
void appendJson(std::string& out, std::string_view text);
bool isPatternCaption(std::string_view pattern);
// Reads member as a text into `into`; otherwise returns why not, beginning
// with owner (e.g. "the picture's ").
std::string textMember(const QJsonObject& object, const char* member, const std::string& owner,
                       std::string& into);
// Why one of the five texts cannot be kept ("" if all can).
std::string fieldTextsProblem(const FieldTexts& fields, const std::string& owner);
// The five texts as members ",\"x\":\"...\"" .. in the order they are written.
std::string fieldTextsToJson(const FieldTexts& fields);
// Reads the five text members; returns why not ("" when all are texts).
std::string fieldTextsFromJson(const QJsonObject& object, const std::string& owner, FieldTexts& fields);

}  // namespace plorvex::picture::detail
