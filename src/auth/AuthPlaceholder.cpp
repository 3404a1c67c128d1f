// Replaced as the auth layer is built.
