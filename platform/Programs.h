#pragma once
// Starting another program.
