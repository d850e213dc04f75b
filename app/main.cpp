#include "BelvaneApp.h"

int main(int argc, char **argv)
{
    return belvane::BelvaneApp::Start(argc, argv);
}
