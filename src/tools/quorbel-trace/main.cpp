// quorbel-trace: sends lines to the trace window of a running quorbel-ide.
//   quorbel-trace TEXT...      one line, the words joined by blanks
//   quorbel-trace -            one line per input line, in order
//   quorbel-trace -- TEXT...   TEXT as it is, even "--help" or "-"
//   quorbel-trace -h|--help    the usage, nothing sent
#include "quorbel_trace.h"

#include <cstdio>
#include <string>

namespace {

const char Usage[] = "usage: quorbel-trace TEXT...        send one line, the words joined by blanks\n"
                     "       some-program | quorbel-trace -   send each input line\n"
                     "       quorbel-trace -- TEXT...     send TEXT as it is (\"--help\", \"-\")\n"
                     "Sends to the trace window of a running quorbel-ide (\"Trace Window\").\n"
                     "Exit status: 0 sent, 1 wrong command line, 2 no trace window is receiving,\n"
                     "3 the line could not be sent or was not answered in time.\n";

int Fail(int result)
{
    if (result == QUORBEL_TRACE_NO_WINDOW) {
        std::fprintf(stderr, "quorbel-trace: no trace window is receiving "
                             "(show \"Trace Window\" in quorbel-ide first)\n");
        return 2;
    }
    if (result == QUORBEL_TRACE_TIMED_OUT)
        std::fprintf(stderr, "quorbel-trace: the trace window did not answer in time\n");
    else
        std::fprintf(stderr, "quorbel-trace: the line could not be sent\n");
    return 3;
}

} // namespace

int main(int argc, char **argv)
{
    int first = 1; // the first word of the text
    if (argc >= 2) {
        const std::string option = argv[1];
        if (option == "-h" || option == "--help") {
            std::fputs(Usage, stdout);
            return 0;
        }
        if (option == "--")
            first = 2;
    }
    if (argc <= first) {
        std::fputs(Usage, stderr);
        return 1;
    }
    quorbel_trace_conn conn;
    int result = quorbel_trace_open(&conn);
    if (result != 0)
        return Fail(result);
    if (first == 1 && argc == 2 && std::string(argv[1]) == "-") {
        char *line = nullptr;
        size_t capacity = 0;
        ssize_t size;
        while ((size = getline(&line, &capacity, stdin)) >= 0) {
            if (size > 0 && line[size - 1] == '\n')
                --size;
            if (size > 0 && line[size - 1] == '\r')
                --size;
            if ((result = quorbel_trace_send_n(&conn, line, size_t(size))) != 0)
                break;
        }
        free(line);
    } else {
        std::string text = argv[first];
        for (int i = first + 1; i < argc; ++i)
            text.append(" ").append(argv[i]);
        result = quorbel_trace_send(&conn, text.c_str());
    }
    quorbel_trace_close(&conn);
    return result == 0 ? 0 : Fail(result);
}
