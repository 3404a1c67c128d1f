// Replaced as the dictation layer is built.
