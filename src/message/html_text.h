#pragma once

#include <string>
#include <string_view>

namespace qm {

// HTML mail as text to read. The document is parsed by libxml2's HTML
// parser, which never loads anything: no image, style sheet, frame or DTD,
// neither from the network nor from a file the mail names.
//
// The text: headings, paragraphs, lists, tables and quotes as blocks with
// one blank line between them; a <div>, a table row or a list item on a
// line of its own, list items after "・", the cells of a row separated by a
// TAB; <br> a line break; a link as "text <URL>" unless its text is the
// address; an image as its alt text; quoted blocks with "> " in front of
// their lines; <pre> as it stands. <head>, <style>, <script>, comments and
// hidden elements (the "hidden" attribute, display:none, visibility:hidden,
// mso-hide:all) are left out; runs of blanks (no-break spaces too) become
// one, invisible formatting characters go, and so do blanks at line ends.
// Lines end with "\n".

// The document's charset: `declared` (the part's Content-Type parameter)
// when it is one the converter knows, else what a <meta charset> or <meta
// http-equiv="Content-Type"> names, else UTF-8 when the bytes are valid
// UTF-8, else CP932.
std::string html_charset(std::string_view bytes, std::string_view declared);

// The document in UTF-8, read in html_charset.
std::string html_as_utf8(std::string_view bytes, std::string_view declared);

// The text of a document given in UTF-8.
std::string html_text_of_utf8(std::string_view utf8);

// The text of a document as sent: its bytes and the part's charset
// parameter (or nothing).
std::string html_text(std::string_view bytes, std::string_view declared);

}  // namespace qm
