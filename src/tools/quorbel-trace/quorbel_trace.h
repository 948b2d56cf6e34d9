/* Sends lines to the Quorbel trace window of the same user, from C or C++.
 *
 *   #include "quorbel_trace.h"
 *   quorbel_trace("reached the main loop");     one line, one connection
 *
 *   quorbel_trace_conn c;                        many lines, one connection
 *   if (quorbel_trace_open(&c) == 0) {
 *       quorbel_trace_send(&c, "first");
 *       quorbel_trace_close(&c);
 *   }
 *
 * Each call returns once the line is in the window's list, or after
 * QUORBEL_TRACE_TIMEOUT_MS when the window does not answer. Results: 0 sent,
 * QUORBEL_TRACE_NO_WINDOW, QUORBEL_TRACE_TIMED_OUT, QUORBEL_TRACE_FAILED.
 * POSIX only; header only, no library to link. */
#ifndef QUORBEL_TRACE_H
#define QUORBEL_TRACE_H

#include <errno.h>
#include <poll.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/time.h>
#include <sys/uio.h>
#include <sys/un.h>
#include <unistd.h>

#ifndef QUORBEL_TRACE_TIMEOUT_MS
#define QUORBEL_TRACE_TIMEOUT_MS 2000
#endif

#define QUORBEL_TRACE_NO_WINDOW (-1)
#define QUORBEL_TRACE_TIMED_OUT (-2)
#define QUORBEL_TRACE_FAILED (-3)

typedef struct {
    int fd;
} quorbel_trace_conn;

/* The trace window's socket: <dir>/TFTrace in the user's private directory.
 * A directory that another user owns or can open is not trusted. */
static inline int quorbel_trace_path_(struct sockaddr_un *addr)
{
    char dir[sizeof addr->sun_path];
    const char *runtime = getenv("XDG_RUNTIME_DIR");
    struct stat st;
    int n;
    if (runtime && *runtime)
        n = snprintf(dir, sizeof dir, "%s/quorbel", runtime);
    else
        n = snprintf(dir, sizeof dir, "/tmp/quorbel-%lu", (unsigned long)geteuid());
    if (n < 0 || (size_t)n >= sizeof dir)
        return -1;
    if (lstat(dir, &st) != 0 || !S_ISDIR(st.st_mode) || st.st_uid != geteuid()
        || (st.st_mode & 077) != 0)
        return -1;
    memset(addr, 0, sizeof *addr);
    addr->sun_family = AF_UNIX;
    n = snprintf(addr->sun_path, sizeof addr->sun_path, "%s/TFTrace", dir);
    return n < 0 || (size_t)n >= sizeof addr->sun_path ? -1 : 0;
}

static inline int quorbel_trace_open(quorbel_trace_conn *conn)
{
    struct sockaddr_un addr;
    struct timeval tv;
    conn->fd = -1;
    if (quorbel_trace_path_(&addr) != 0)
        return QUORBEL_TRACE_NO_WINDOW;
    conn->fd = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (conn->fd < 0)
        return QUORBEL_TRACE_FAILED;
    tv.tv_sec = QUORBEL_TRACE_TIMEOUT_MS / 1000;
    tv.tv_usec = (QUORBEL_TRACE_TIMEOUT_MS % 1000) * 1000;
    setsockopt(conn->fd, SOL_SOCKET, SO_SNDTIMEO, &tv, sizeof tv);
    setsockopt(conn->fd, SOL_SOCKET, SO_RCVTIMEO, &tv, sizeof tv);
    if (connect(conn->fd, (struct sockaddr *)&addr, sizeof addr) != 0) {
        int err = errno;
        close(conn->fd);
        conn->fd = -1;
        return err == ENOENT || err == ECONNREFUSED ? QUORBEL_TRACE_NO_WINDOW : QUORBEL_TRACE_FAILED;
    }
    return 0;
}

static inline void quorbel_trace_close(quorbel_trace_conn *conn)
{
    if (conn->fd >= 0)
        close(conn->fd);
    conn->fd = -1;
}

static inline int quorbel_trace_fail_(quorbel_trace_conn *conn, ssize_t n)
{
    int timed_out = n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK);
    quorbel_trace_close(conn);
    return timed_out ? QUORBEL_TRACE_TIMED_OUT : QUORBEL_TRACE_FAILED;
}

/* Writes the pieces in as few calls as the socket takes: a frame written in
 * one call reaches the window whole. */
static inline int quorbel_trace_write_(quorbel_trace_conn *conn, struct iovec *pieces, int count)
{
    while (count > 0) {
        struct msghdr msg;
        ssize_t n;
        size_t done;
        memset(&msg, 0, sizeof msg);
        msg.msg_iov = pieces;
        msg.msg_iovlen = (size_t)count;
        n = sendmsg(conn->fd, &msg, MSG_NOSIGNAL);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return quorbel_trace_fail_(conn, n);
        for (done = (size_t)n; count > 0 && done >= pieces->iov_len; ++pieces, --count)
            done -= pieces->iov_len;
        if (count > 0) {
            pieces->iov_base = (char *)pieces->iov_base + done;
            pieces->iov_len -= done;
        }
    }
    return 0;
}

/* Waits in poll rather than in recv: a thread asleep in recv is woken each
 * time the window reads from the socket, one in poll only for the reply. */
static inline int quorbel_trace_read_(quorbel_trace_conn *conn, char *buf, size_t size)
{
    while (size > 0) {
        struct pollfd wait;
        int ready;
        ssize_t n;
        wait.fd = conn->fd;
        wait.events = POLLIN;
        wait.revents = 0;
        ready = poll(&wait, 1, QUORBEL_TRACE_TIMEOUT_MS > 0 ? QUORBEL_TRACE_TIMEOUT_MS : -1);
        if (ready < 0 && errno == EINTR)
            continue;
        if (ready == 0)
            errno = EAGAIN;
        if (ready <= 0)
            return quorbel_trace_fail_(conn, -1);
        n = recv(conn->fd, buf, size, MSG_DONTWAIT);
        if (n < 0 && (errno == EINTR || errno == EAGAIN))
            continue;
        if (n <= 0)
            return quorbel_trace_fail_(conn, n);
        buf += n;
        size -= (size_t)n;
    }
    return 0;
}

/* One WM_COPYDATA (0x4A) message carrying the text with its zero byte. */
static inline int quorbel_trace_send_n(quorbel_trace_conn *conn, const char *text, size_t size)
{
    unsigned char header[16] = {0x4A, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0};
    unsigned long length = (unsigned long)size + 1;
    char reply[8];
    char zero = 0;
    struct iovec pieces[3];
    int i, r;
    if (conn->fd < 0)
        return QUORBEL_TRACE_FAILED;
    if (size > 0xFFFFFFFEul)
        size = 0xFFFFFFFEul, length = 0xFFFFFFFFul;
    for (i = 0; i < 4; ++i)
        header[12 + i] = (unsigned char)(length >> (8 * i));
    pieces[0].iov_base = header;
    pieces[0].iov_len = sizeof header;
    pieces[1].iov_base = (void *)text;
    pieces[1].iov_len = size;
    pieces[2].iov_base = &zero;
    pieces[2].iov_len = 1;
    if ((r = quorbel_trace_write_(conn, pieces, 3)) != 0)
        return r;
    return quorbel_trace_read_(conn, reply, sizeof reply);
}

static inline int quorbel_trace_send(quorbel_trace_conn *conn, const char *text)
{
    return quorbel_trace_send_n(conn, text, strlen(text));
}

static inline int quorbel_trace(const char *text)
{
    quorbel_trace_conn conn;
    int r = quorbel_trace_open(&conn);
    if (r == 0) {
        r = quorbel_trace_send(&conn, text);
        quorbel_trace_close(&conn);
    }
    return r;
}

#endif
