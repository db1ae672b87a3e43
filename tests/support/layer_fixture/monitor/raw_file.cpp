// A monitor file that calls the system itself: check-layers must refuse it.
#include <fcntl.h>
#include <sys/stat.h>
