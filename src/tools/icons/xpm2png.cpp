// xpm2png IN.xpm OUT.png: a program's built-in icon as the PNG file its
// desktop entry names (the build runs it).
#include <QImage>

#include <cstdio>

int main(int argc, char **argv)
{
    if (argc != 3) {
        std::fputs("usage: xpm2png IN.xpm OUT.png\n", stderr);
        return 2;
    }
    const QImage image(QString::fromLocal8Bit(argv[1]), "XPM");
    if (image.isNull() || !image.save(QString::fromLocal8Bit(argv[2]), "PNG")) {
        std::fprintf(stderr, "xpm2png: cannot turn %s into %s\n", argv[1], argv[2]);
        return 1;
    }
    return 0;
}
