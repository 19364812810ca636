// The page host's HTML: UTF-8, self-contained (no scripts, styles or pictures
// from elsewhere). Every text put into a page is escaped here.
#pragma once

#include <string>

// Escapes &, <, >, " and ' for element text and attribute values.
std::string HtmlEscape(const std::string& text);

// The challenge form: the picture of `envelope` (width x height), the
// envelope in a hidden field, an answer field and a "new picture" link.
std::string ChallengeFormHtml(const std::string& envelope, int width, int height);

// The verdict on a submitted answer: accepted, or refused with its reason.
std::string VerdictHtml(bool accepted, const std::string& reason);

// The Content-Security-Policy of every page: pictures from this host only,
// the pages' own inline style by its hash, forms posted to this host only,
// no scripts, no framing.
const std::string& HtmlContentSecurityPolicy();
