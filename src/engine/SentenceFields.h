#pragma once
// Field access on a received "$PKVR" sentence for the process engine: thin
// helpers over the link's field reader, so that every engine file reads fields
// the same way (field 0 is "$PKVR").
#include <string>

int SentenceFieldCount(const std::string& sentence);
// Text of field n; false when the field is missing or empty.
bool SentenceFieldText(const std::string& sentence, int n, std::string& out);
// Integer of field n (decimal, truncated toward zero); false when missing or unreadable.
bool SentenceFieldInt(const std::string& sentence, int n, long& out);
// Text of field n, or "" when missing or empty.
std::string SentenceField(const std::string& sentence, int n);
