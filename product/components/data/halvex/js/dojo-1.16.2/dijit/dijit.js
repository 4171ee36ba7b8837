/* dijit of dojo 1.16.2 */
