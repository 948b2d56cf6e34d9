/* A C program that reports to the Quorbel trace window. */
#include "quorbel_trace.h"

#include <stdio.h>

int main(int argc, char **argv)
{
    char line[64];
    int i, r;
    quorbel_trace_conn conn;
    if (quorbel_trace("trace_hello: started") != 0) {
        fprintf(stderr, "trace_hello: no trace window\n");
        return 2;
    }
    if ((r = quorbel_trace_open(&conn)) != 0)
        return 2;
    for (i = 1; i <= 3 && r == 0; ++i) {
        snprintf(line, sizeof line, "step %d of %s", i, argc > 0 ? argv[0] : "?");
        r = quorbel_trace_send(&conn, line);
    }
    quorbel_trace_close(&conn);
    return r == 0 ? 0 : 3;
}
