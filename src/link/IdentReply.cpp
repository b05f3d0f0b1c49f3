#include "link/IdentReply.h"

#include "link/DeviceSentence.h"

namespace {

std::string FieldOr(const DeviceSentence& fields, int n, const char* placeholder, bool& present)
{
    std::string text;
    present = fields.Text(n, text);
    return present ? text : placeholder;
}

}  // namespace

std::vector<IdentReplyRow> IdentReplyRows(const std::string& answer)
{
    std::vector<IdentReplyRow> rows;
    std::string previousId, previousPort;
    size_t pos = 0;
    for (;;) {
        size_t crlf = answer.find("\r\n", pos);
        if (crlf == std::string::npos)
            break;
        const std::string line = answer.substr(pos, crlf + 2 - pos);
        pos = crlf + 2;

        DeviceSentence fields(line);
        IdentReplyRow row;
        bool hasNumber, hasId, hasSoft, hasPort;
        row.number = FieldOr(fields, 3, " x", hasNumber);
        row.hardware = FieldOr(fields, 4, " xxxxxx", hasId);
        row.software = FieldOr(fields, 5, " xxxxxxxxxxxxxxx", hasSoft);
        row.port = FieldOr(fields, 6, "", hasPort);
        if ((hasId && row.hardware != previousId) || (hasPort && row.port != previousPort)) {
            previousId = row.hardware;
            if (hasPort)
                previousPort = row.port;
            if (row.hardware.find('U') != std::string::npos)
                row.image = 2;
            else
                row.image = hasPort ? 0 : 1;
        }
        rows.push_back(row);

        std::string total, number;
        if (fields.Text(2, total) && fields.Text(3, number) && total == number)
            break;
    }
    return rows;
}

std::vector<std::string> IdentSeriesLines(const std::string& answer)
{
    std::vector<std::string> lines;
    size_t pos = 0;
    while (pos < answer.size()) {
        size_t end = answer.find('\n', pos);
        if (end == std::string::npos) end = answer.size();
        std::string line = answer.substr(pos, end - pos);
        pos = end + 1;
        while (!line.empty() && line.back() == '\r') line.pop_back();
        if (line.empty()) continue;
        lines.push_back(line);
        DeviceSentence fields(lines.back());
        std::string total, number;
        if (fields.Text(2, total) && fields.Text(3, number) && total == number) break;
    }
    return lines;
}
