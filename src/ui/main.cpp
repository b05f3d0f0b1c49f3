// tavrel: the desktop program (start-up is being written).
#include <QApplication>
int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    return 0;
}
