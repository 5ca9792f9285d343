#pragma once
// Plain-text and roff layout shared by the programs' --help texts and the
// manual pages written from them.

#include <string>

namespace quillon {

// Paragraphs ("\n\n" between them) wrapped at word breaks to width
// columns, each line indented by indent spaces; an empty line between
// paragraphs. A wide (CJK) character counts two columns, and a line may
// break between two of them (never before closing punctuation).
std::string WrapText(const std::string& text, int indent, int width);
// The columns a UTF-8 text takes on a terminal (wide characters two).
int TextColumns(const std::string& text);

// Text made literal for roff: backslashes, minus signs, and a leading dot
// or quote of a line.
std::string RoffText(const std::string& text);
// Paragraphs as roff ".PP" blocks.
std::string RoffParagraphs(const std::string& text);

}  // namespace quillon
