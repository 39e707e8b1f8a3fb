// Opens the FFmpeg libraries the movie layer decodes with now instead of at the first movie (from any thread, at
// most once); answers whether every function was found. A program calls it where it waits anyway.
#pragma once

bool DShowPreloadAv();
