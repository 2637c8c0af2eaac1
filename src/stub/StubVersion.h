// The stub's own version, shown in the update log as "Agent Version=".
#pragma once
#define STUB_VERSION_NUMBERS 1, 0, 0, 1
#define STUB_VERSION_TEXT "1.0.0.1"
