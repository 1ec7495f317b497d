// Resource ids of the surface tests' own module.
#pragma once

#define IDD_COLLEAGUE 9100
