// Resource ids of the payload the setup program carries (RCDATA), shared by setup.cpp and setup.rc.
#pragma once
#define KLN_PAYLOAD_DOCUMENT 101
#define KLN_PAYLOAD_LAUNCHER 102
#define KLN_PAYLOAD_UNINSTALLER 103
