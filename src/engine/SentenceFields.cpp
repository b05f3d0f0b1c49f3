#include "engine/SentenceFields.h"

#include "link/DeviceSentence.h"

int SentenceFieldCount(const std::string& sentence)
{
    DeviceSentence fields(std::string_view{sentence});
    return fields.Count();
}

bool SentenceFieldText(const std::string& sentence, int n, std::string& out)
{
    DeviceSentence fields(std::string_view{sentence});
    return fields.Text(n, out);
}

bool SentenceFieldInt(const std::string& sentence, int n, long& out)
{
    DeviceSentence fields(std::string_view{sentence});
    return fields.Int(n, out);
}

std::string SentenceField(const std::string& sentence, int n)
{
    std::string text;
    if (!SentenceFieldText(sentence, n, text)) text.clear();
    return text;
}
