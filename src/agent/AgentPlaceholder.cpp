// Replaced as the agent layer is built.
