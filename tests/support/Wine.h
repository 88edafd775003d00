#pragma once

// Whether this Windows program runs under Wine rather than on Windows (never
// so elsewhere), for the few checks whose outcome Wine's own drawing or
// process handling decides.
bool runsUnderWine();
