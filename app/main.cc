#include "app/app_main.h"
#include "harvest/harvest_run.h"

int main(int argc, char** argv) { tavrel::run_app(argc, argv, tavrel::harvest_run); }
