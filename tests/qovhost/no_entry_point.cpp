// A shared library without plugMain, for qovhost's "not a plug-in" message.
extern "C" int qovNotAPlugin() { return 0; }
