#include "ftp/services/FtpClientServices.h"
