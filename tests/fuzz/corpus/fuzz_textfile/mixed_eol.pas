unit Mixed;
interface
implementationend.
