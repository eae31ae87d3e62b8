#include "app/desktop/quillmer_application.h"

int main(int argc, char** argv) { return quillmer::runQuillmerApplication(argc, argv); }
