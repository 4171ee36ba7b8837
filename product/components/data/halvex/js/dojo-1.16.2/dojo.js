/* dojo 1.16.2 sample */
define([], function () { return {}; });
