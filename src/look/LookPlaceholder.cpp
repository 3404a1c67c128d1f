// Replaced as the look layer is built.
