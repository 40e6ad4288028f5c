/* libmdnsd's public headers include "config.h", which the library's
 * development package does not ship. Nothing in it is needed here. */
